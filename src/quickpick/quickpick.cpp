#include "quickpick.h"

#include "engine/delivery.h"
#include "engine/keyregistration.h"
#include "engine/livemaster.h"
#include "hotkeys/platform.h"
#include "quickpick/quickpickpopup.h"
#include "store/macrostore.h"
#include "store/recentnotes.h"
#include "store/storesnapshot.h"
#include "widgets/heaprelease.h"

QuickPick::QuickPick(const MacroStore &store, KeyRegistration &keys, Platform &platform,
                     QObject *parent)
    : QObject(parent), m_store(store), m_platform(platform)
{
    connect(&keys, &KeyRegistration::quickPickPressed, this, &QuickPick::open);
    m_focusPoll.setInterval(Delivery::KeyPollMs);
    connect(&m_focusPoll, &QTimer::timeout, this, &QuickPick::deliverOnceFocusIsBack);
}

QuickPick::~QuickPick()
{
    delete m_popup;
}

QuickPickPopup *QuickPick::popup() const
{
    return m_popup;
}

void QuickPick::prepareWhileIdle()
{
    QTimer::singleShot(PrepareAfterMs, this, [this] { m_store.snapshot()->matcher(); });
}

void QuickPick::open()
{
    // A second press while it is open leaves it as it is.
    if (m_popup)
        return;
    m_focused = m_platform.focus().focusedWindowClass();
    m_popup = new QuickPickPopup(m_store.snapshot()->matcher(), RecentNotes::read(),
                                 m_live ? m_live->name() : QString());
    m_popup->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_popup, &QuickPickPopup::picked, this, &QuickPick::picked);
    // Its rows are freed with it (the folded notes stay with the store's snapshot); the heap
    // gives them back once it has gone entirely.
    connect(m_popup, &QObject::destroyed, this, &HeapRelease::release, Qt::QueuedConnection);
    m_popup->popUp(m_platform.shortcuts().takeActivationToken());
}

void QuickPick::picked(const QString &master, const QString &note)
{
    // Not kept is only a worse order next time.
    RecentNotes::use(NoteMatcher::key(master, note));
    if (m_focusPoll.isActive()) // an earlier pick still waiting goes first
        deliverPicked();
    m_picked = {DeliveryRequest::Way::Pick, master, note, 0, 0};
    m_sincePick.start();
    deliverOnceFocusIsBack();
}

// The paste goes wherever the focus is: a Wayland desktop gives it back to the program that had
// it only some time after the popup has gone. Where the platform cannot name the focused
// program, the delivery's own wait has to do.
void QuickPick::deliverOnceFocusIsBack()
{
    if (m_platform.focus().focusedWindowClass() != m_focused &&
        m_sincePick.elapsed() < FocusWaitMs) {
        m_focusPoll.start();
        return;
    }
    m_focusPoll.stop();
    deliverPicked();
}

void QuickPick::deliverPicked()
{
    Q_EMIT requested(m_picked);
}
