#pragma once

#include "store/macrostore.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class HotKeyController;

// Which master macro is live: the one place that ticks, switches and unticks it, for the tree,
// the tray and the start alike. It reads the live master macro's notes once per change and keeps
// them as the table a press is looked up in; the table follows the store file, whoever changed
// it, so the file stays the only truth. When the user wants it, the live one is kept for the
// next start at every change, so that a crash forgets nothing either.
class LiveMaster final : public QObject
{
    Q_OBJECT

public:
    LiveMaster(MacroStore &store, HotKeyController &keys, QObject *parent = nullptr);
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

private:
    // Reads the live one's notes into the tables; their codes in store order.
    QList<int> readNotes();
    void readIfChanged();
    bool lookup(int code, QString *text);
    // For the placeholders: the note a press of `code` delivers, and a note's text by name.
    QString nameOf(int code);
    bool textOf(const QString &note, QString *text);
    void remember();

    MacroStore &m_store;
    HotKeyController &m_keys;
    QString m_name;
    QHash<QString, int> m_codes;
    QHash<int, QString> m_texts; // code -> text of the first note in store order with it
    QHash<int, QString> m_names; // code -> name of that note
    QHash<QString, QString> m_byName;
    MacroStore::Stamp m_read; // the file as it was when the notes were read
    bool m_remember = false;
};
