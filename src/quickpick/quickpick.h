#pragma once

#include "quickpick/notematcher.h"

#include <QObject>
#include <QPointer>

class HotKeyController;
class MacroStore;
class QuickPickPopup;

// "Pick a note": on the hot key the preferences name (the controller holds it), a popup of the
// notes of every master macro, read from the store as it is on disk (unsaved edits in the editor
// do not count); the note picked goes out as its own hot key would send it, and moves to the
// front of the recent ones (RecentNotes).
class QuickPick final : public QObject
{
    Q_OBJECT

public:
    // Both must outlive this.
    QuickPick(const MacroStore &store, HotKeyController &hotKeys, QObject *parent = nullptr);
    ~QuickPick() override;

    // Every note of the store, in store order.
    static QList<NoteMatcher::Entry> entries(const MacroStore &store);

    // The open popup, null when none is.
    QuickPickPopup *popup() const;

public Q_SLOTS:
    void open();

private:
    void deliver(const QString &master, const QString &note, const QString &text);

    const MacroStore &m_store;
    HotKeyController &m_hotKeys;
    QPointer<QuickPickPopup> m_popup;
};
