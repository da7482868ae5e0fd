#pragma once

#include "core/notematcher.h"
#include "engine/deliveryrequest.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class KeyRegistration;
class LiveMaster;
class MacroStore;
class Platform;
class QuickPickPopup;
class StoreSnapshot;

// "Pick a note": on the hot key the preferences name (KeyRegistration holds it), a popup of the
// notes of every master macro, read from the store as it is on disk (unsaved edits in the editor
// do not count); the note picked goes out as its own hot key would send it, once the program that
// had the focus before has it again, and moves to the front of the recent ones (RecentNotes).
class QuickPick final : public QObject
{
    Q_OBJECT

public:
    // The focus is given back this soon, or the note goes out anyway.
    static constexpr int FocusWaitMs = 2000;
    // Once the start has settled, the notes are read and folded for the first press.
    static constexpr int PrepareAfterMs = 1500;

    // All three must outlive this.
    QuickPick(const MacroStore &store, KeyRegistration &keys, Platform &platform,
              QObject *parent = nullptr);
    ~QuickPick() override;

    // With nothing typed, the notes of the live master macro come right after the recent ones.
    void setLiveMaster(const LiveMaster *live) { m_live = live; }

    // The open popup, null when none is.
    QuickPickPopup *popup() const;
    // Reads and folds the notes a while from now, while idle, so that the first press finds them
    // ready (a hundred thousand notes take half a second); later presses fold only after a change.
    void prepareWhileIdle();

public Q_SLOTS:
    void open();

Q_SIGNALS:
    // The note picked, once the program that had the focus has it again.
    void requested(const DeliveryRequest &request);

private:
    void picked(const QString &master, const QString &note);
    void deliverOnceFocusIsBack();
    void deliverPicked();

    const MacroStore &m_store;
    Platform &m_platform;
    const LiveMaster *m_live = nullptr;
    QPointer<QuickPickPopup> m_popup;
    QStringList m_focused; // the program that had the focus when the popup opened
    DeliveryRequest m_picked;
    QTimer m_focusPoll;
    QElapsedTimer m_sincePick;
};
