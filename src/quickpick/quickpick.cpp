#include "quickpick.h"

#include "hotkeys/hotkeycontroller.h"
#include "hotkeys/hotkeyplatform.h"
#include "hotkeys/pastedelivery.h"
#include "quickpick/quickpickpopup.h"
#include "store/macrostore.h"
#include "store/recentnotes.h"
#include "widgets/heaprelease.h"

QuickPick::QuickPick(const MacroStore &store, HotKeyController &hotKeys, HotKeyPlatform &platform,
                     QObject *parent)
    : QObject(parent), m_store(store), m_hotKeys(hotKeys), m_platform(platform)
{
    connect(&m_hotKeys, &HotKeyController::quickPickPressed, this, &QuickPick::open);
    m_focusPoll.setInterval(PasteDelivery::KeyPollMs);
    connect(&m_focusPoll, &QTimer::timeout, this, &QuickPick::deliverOnceFocusIsBack);
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
    m_focused = m_platform.focusedWindowClass();
    m_popup = new QuickPickPopup(entries(m_store), RecentNotes::read());
    m_popup->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_popup, &QuickPickPopup::picked, this, &QuickPick::picked);
    // Its notes, folded copies and rows are freed with it; the heap gives them back once it has
    // gone entirely.
    connect(m_popup, &QObject::destroyed, this, &HeapRelease::release, Qt::QueuedConnection);
    m_popup->popUp(m_platform.takeActivationToken());
}

void QuickPick::picked(const QString &master, const QString &note, const QString &text)
{
    // Not kept is only a worse order next time.
    RecentNotes::use(NoteMatcher::key(master, note));
    if (m_focusPoll.isActive()) // an earlier pick still waiting goes first
        deliverPicked();
    m_picked = {master, note, text, 0};
    m_sincePick.start();
    deliverOnceFocusIsBack();
}

// The paste goes wherever the focus is: a Wayland desktop gives it back to the program that had
// it only some time after the popup has gone. Where the platform cannot name the focused
// program, the delivery's own wait has to do.
void QuickPick::deliverOnceFocusIsBack()
{
    if (m_platform.focusedWindowClass() != m_focused && m_sincePick.elapsed() < FocusWaitMs) {
        m_focusPoll.start();
        return;
    }
    m_focusPoll.stop();
    deliverPicked();
}

void QuickPick::deliverPicked()
{
    const MacroStore &store = m_store;
    const QString master = m_picked.master;
    m_hotKeys.deliverNote(master, m_picked.note, m_picked.text,
                          [&store, master](const QString &name, QString *text) {
                              if (!store.noteNames(master).contains(name))
                                  return false;
                              *text = store.note(master, name).text;
                              return true;
                          });
}
