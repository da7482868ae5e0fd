#include "quickpick.h"

#include "hotkeys/hotkeycontroller.h"
#include "quickpick/quickpickpopup.h"
#include "store/macrostore.h"
#include "store/recentnotes.h"

QuickPick::QuickPick(const MacroStore &store, HotKeyController &hotKeys, QObject *parent)
    : QObject(parent), m_store(store), m_hotKeys(hotKeys)
{
    connect(&m_hotKeys, &HotKeyController::quickPickPressed, this, &QuickPick::open);
}

QuickPick::~QuickPick()
{
    delete m_popup;
}

QList<NoteMatcher::Entry> QuickPick::entries(const MacroStore &store)
{
    QList<NoteMatcher::Entry> entries;
    for (const QString &master : store.masters()) {
        for (const MacroStore::Note &note : store.notes(master))
            entries.append({master, note.name, note.text, note.code});
    }
    return entries;
}

QuickPickPopup *QuickPick::popup() const
{
    return m_popup;
}

void QuickPick::open()
{
    // A second press while it is open leaves it as it is.
    if (m_popup)
        return;
    m_popup = new QuickPickPopup(entries(m_store), RecentNotes::read());
    m_popup->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_popup, &QuickPickPopup::picked, this, &QuickPick::deliver);
    m_popup->popUp();
}

void QuickPick::deliver(const QString &master, const QString &note, const QString &text)
{
    // Not kept is only a worse order next time.
    RecentNotes::use(NoteMatcher::key(master, note));
    m_hotKeys.deliverNote(master, note, text);
}
