#include "hotkeycontroller.h"

#include "hotkeys/consolekeys.h"
#include "hotkeys/globalshortcut.h"
#include "hotkeys/shortcutregistry.h"
#include "store/macrostore.h"

#include <algorithm>
#include <QKeySequence>

HotKeyController::HotKeyController(MacroStore &store, QObject *parent)
    : QObject(parent), m_store(store)
{
    m_pasteTimer.setSingleShot(true);
    m_pasteTimer.setTimerType(Qt::PreciseTimer); // never shorter than the full wait
    m_pasteTimer.setInterval(PasteDelayMs);
    connect(&m_pasteTimer, &QTimer::timeout, &m_delivery, &PasteDelivery::pasteWhenKeysAreFree);
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setTimerType(Qt::PreciseTimer); // a coarse timer may end up to 5% early
    m_settleTimer.setInterval(PasteSettleMs);
    // Also after a dropped press, and when nothing waits yet: a press right after the paste must
    // not overtake it.
    connect(&m_delivery, &PasteDelivery::finished, &m_settleTimer, qOverload<>(&QTimer::start));
    connect(&m_settleTimer, &QTimer::timeout, this, [this] {
        m_delivery.end();
        deliverNext();
    });
}

HotKeyController::~HotKeyController()
{
    release();
}

void HotKeyController::activate(const QString &master)
{
    release();
    m_active = master;
    const QList<MacroStore::NoteCode> notes = m_store.noteCodes(master);
    m_shortcuts.reserve(notes.size());
    {
        // All grabs of the master macro in one go to the server.
        const ShortcutRegistry::Batch batch;
        for (const MacroStore::NoteCode &note : notes) {
            if (ConsoleKeys::isConsoleSwitchKey(note.code))
                m_consoleCodes.append(note.code);
            else
                m_shortcuts.push_back(std::make_unique<GlobalShortcut>(QKeySequence(note.code)));
        }
    }
    for (const auto &shortcut : m_shortcuts) {
        const QKeySequence sequence = shortcut->shortcut();
        const int code = sequence.isEmpty() ? 0 : sequence[0].toCombined();
        GlobalShortcut *raw = shortcut.get();
        connect(raw, &GlobalShortcut::activated, this, [this, code] { press(code); });
        connect(raw, &GlobalShortcut::registrationChanged, this,
                &HotKeyController::unavailableChanged);
    }
    const bool hasUnavailable = !unavailable().isEmpty();
    if (hasUnavailable || m_hadUnavailable)
        Q_EMIT unavailableChanged();
    m_hadUnavailable = hasUnavailable;
    Q_EMIT liveChanged();
}

void HotKeyController::deactivate()
{
    release();
    m_active.clear();
    if (m_hadUnavailable)
        Q_EMIT unavailableChanged();
    m_hadUnavailable = false;
    Q_EMIT liveChanged();
}

void HotKeyController::reload()
{
    if (!m_active.isEmpty())
        activate(m_active);
}

void HotKeyController::renameActive(const QString &from, const QString &to)
{
    if (!isActive(from))
        return;
    m_active = to;
    Q_EMIT liveChanged();
}

void HotKeyController::release()
{
    // Released newest first, and the releases go to the server together.
    const ShortcutRegistry::Batch batch;
    while (!m_shortcuts.empty())
        m_shortcuts.pop_back();
    m_consoleCodes.clear();
}

QHash<int, QString> HotKeyController::unavailable() const
{
    QHash<int, QString> result;
    const bool backend = ShortcutRegistry::hasBackend();
    for (const auto &shortcut : m_shortcuts) {
        if (shortcut->isRegistered() || shortcut->shortcut().isEmpty())
            continue;
        result.insert(shortcut->shortcut()[0].toCombined(),
                      backend ? tr("Another program holds this hot key, or the keyboard "
                                   "layout has no such key.")
                              : tr("Hot keys cannot be registered in this session."));
    }
    for (int code : m_consoleCodes)
        result.insert(code, ConsoleKeys::reason(code));
    return result;
}

QList<int> HotKeyController::liveCodes() const
{
    QList<int> codes;
    for (const auto &shortcut : m_shortcuts) {
        if (!shortcut->shortcut().isEmpty())
            codes.append(shortcut->shortcut()[0].toCombined());
    }
    return codes;
}

bool HotKeyController::hasLiveKeys() const
{
    return std::any_of(m_shortcuts.cbegin(), m_shortcuts.cend(),
                       [](const auto &shortcut) { return shortcut->isRegistered(); });
}

void HotKeyController::press(int code)
{
    m_pending.append(code);
    if (!m_delivery.isBusy() && !m_settleTimer.isActive())
        deliverNext();
}

void HotKeyController::deliverNext()
{
    while (!m_pending.isEmpty()) {
        const int code = m_pending.takeFirst();
        QString text;
        if (m_active.isEmpty() || !m_store.textForCode(m_active, code, &text))
            continue;
        m_delivery.begin(code, text);
        m_pasteTimer.start();
        return;
    }
}
