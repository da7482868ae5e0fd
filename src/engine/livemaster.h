#pragma once

#include "engine/deliveryrequest.h"

#include <memory>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class KeyRegistration;
class MacroStore;
class StoreSnapshot;

// Which master macro is live: the one place that ticks, switches and unticks it, for the tree,
// the tray and the start alike. Its notes' hot keys are held (KeyRegistration) while it is live,
// and a press of one becomes a request for that note. The notes come from the store's snapshot,
// so they follow the file, whoever changed it. When the user wants it, the live one is kept for
// the next start at every change, so that a crash forgets nothing either.
class LiveMaster final : public QObject
{
    Q_OBJECT

public:
    // Both must outlive this.
    LiveMaster(const MacroStore &store, KeyRegistration &keys, QObject *parent = nullptr);
    ~LiveMaster() override;

    QString name() const { return m_name; }
    bool isLive(const QString &master) const { return !m_name.isEmpty() && m_name == master; }
    // The live master macro's notes (name -> hot-key code) as last read.
    const QHash<QString, int> &codes() const { return m_codes; }

    // Makes `master` live, or none for "". Choosing the live one again changes nothing.
    void choose(const QString &master);
    // The live one again, after its notes changed in the store.
    void reload();
    // The store changed on disk: the live one's hot keys follow its notes, and it is no longer
    // live once it is gone.
    void storeChanged();
    void renamed(const QString &from, const QString &to);
    void removed(const QString &master);

    // Keep the live one for the next start (written now and at every change), or forget it.
    void setRemembered(bool remember);
    // Makes the kept one live, if it still exists.
    void chooseRemembered();

Q_SIGNALS:
    void liveChanged(const QString &master);
    // The live master macro could not be kept for the next start (the disk refused).
    void rememberFailed();
    // A live note's hot key was pressed: the note to deliver.
    void requested(const DeliveryRequest &request);

private:
    // Reads the live one's notes into the table from the store as it is now; true when their hot
    // keys are other than before.
    bool readNotes();
    void hold();
    void pressed(int code);
    void remember();

    const MacroStore &m_store;
    KeyRegistration &m_keys;
    QString m_name;
    QHash<QString, int> m_codes;
    QList<int> m_order;          // the codes in store order
    QHash<int, QString> m_names; // code -> name of the first note in store order with it
    std::shared_ptr<const StoreSnapshot> m_read; // what the table was read from
    bool m_remember = false;
};
