#include "hotkeycontroller.h"

#include "hotkeys/consolekeys.h"
#include "hotkeys/globalshortcut.h"
#include "store/preferences.h"

#include <algorithm>
#include <QKeySequence>
#include <QSet>

HotKeyController::HotKeyController(HotKeyPlatform &platform, QObject *parent)
    : QObject(parent), m_platform(platform), m_registry(platform), m_delivery(platform, m_registry)
{
    m_pasteTimer.setSingleShot(true);
    m_pasteTimer.setTimerType(Qt::PreciseTimer); // never shorter than the full wait
    connect(&m_pasteTimer, &QTimer::timeout, &m_delivery, &PasteDelivery::pasteWhenKeysAreFree);
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setTimerType(Qt::PreciseTimer); // a coarse timer may end up to 5% early
    setTiming(Timing());
    connect(&m_platform, &HotKeyPlatform::keyboardTokenChanged, this,
            &HotKeyController::keyboardTokenChanged);
    // Also after a dropped press, and when nothing waits yet: a press right after the paste must
    // not overtake it.
    connect(&m_delivery, &PasteDelivery::finished, this, [this](const QString &failure) {
        m_settleTimer.start();
        Q_EMIT pasteFinished(failure.isEmpty() ? m_delivery.warning() : failure);
    });
    m_retryTimer.setInterval(RetryMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &HotKeyController::retryUnavailable);
    connect(&m_settleTimer, &QTimer::timeout, this, [this] {
        m_delivery.end();
        deliverNext();
    });
}

HotKeyController::~HotKeyController()
{
    release();
}

void HotKeyController::setPreferences(const Preferences &preferences)
{
    m_delivery.setPreferences(preferences);
    m_platform.setKeyboardToken(preferences.keyboardToken());
}

void HotKeyController::setTiming(const Timing &timing)
{
    m_pasteTimer.setInterval(timing.pasteDelayMs);
    m_settleTimer.setInterval(timing.settleMs);
    m_delivery.setGiveUpMs(timing.giveUpMs);
}

void HotKeyController::activate(const QString &master, const QList<int> &codes, TextLookup lookup)
{
    release();
    m_active = master;
    m_lookup = std::move(lookup);
    {
        // All grabs of the master macro in one go to the server; one object per combination,
        // however many notes share it (a press delivers the first of them).
        const ShortcutRegistry::Batch batch(m_registry);
        QSet<int> made;
        for (int code : codes) {
            if (code == 0 || made.contains(code))
                continue;
            made.insert(code);
            if (ConsoleKeys::isConsoleSwitchKey(code))
                m_consoleCodes.append(code);
            else
                m_shortcuts.push_back(
                    std::make_unique<GlobalShortcut>(QKeySequence(code), m_registry));
        }
    }
    for (const auto &shortcut : m_shortcuts) {
        const QKeySequence sequence = shortcut->shortcut();
        const int code = sequence.isEmpty() ? 0 : sequence[0].toCombined();
        GlobalShortcut *raw = shortcut.get();
        connect(raw, &GlobalShortcut::activated, this, [this, code] { press(code); });
        connect(raw, &GlobalShortcut::registrationChanged, this,
                &HotKeyController::reportUnavailable);
    }
    reportUnavailable();
    Q_EMIT liveChanged();
}

void HotKeyController::deactivate()
{
    release();
    m_active.clear();
    m_lookup = nullptr;
    reportUnavailable();
    Q_EMIT liveChanged();
}

void HotKeyController::renameActive(const QString &to)
{
    if (m_active.isEmpty())
        return;
    m_active = to;
    Q_EMIT liveChanged();
}

void HotKeyController::release()
{
    // Released newest first, and the releases go to the server together.
    const ShortcutRegistry::Batch batch(m_registry);
    while (!m_shortcuts.empty())
        m_shortcuts.pop_back();
    m_consoleCodes.clear();
}

void HotKeyController::reportUnavailable()
{
    // A hot key another program holds may be let go of any time: asked for again until then.
    const bool refused =
        m_registry.hasBackend() &&
        std::any_of(m_shortcuts.cbegin(), m_shortcuts.cend(), [](const auto &shortcut) {
            return !shortcut->isRegistered() && !shortcut->shortcut().isEmpty();
        });
    if (refused && !m_retryTimer.isActive())
        m_retryTimer.start();
    else if (!refused)
        m_retryTimer.stop();
    // Only news is reported: nothing was unavailable and nothing is.
    const bool hasUnavailable = !unavailable().isEmpty();
    if (hasUnavailable || m_hadUnavailable)
        Q_EMIT unavailableChanged();
    m_hadUnavailable = hasUnavailable;
}

QHash<int, QString> HotKeyController::unavailable() const
{
    QHash<int, QString> result;
    const QString refused = m_platform.refusalReason();
    for (const auto &shortcut : m_shortcuts) {
        if (!shortcut->isRegistered() && !shortcut->shortcut().isEmpty())
            result.insert(shortcut->shortcut()[0].toCombined(), refused);
    }
    for (int code : m_consoleCodes)
        result.insert(code, ConsoleKeys::reason(code));
    return result;
}

QList<int> HotKeyController::liveCodes() const
{
    QList<int> codes;
    codes.reserve(int(m_shortcuts.size()));
    for (const auto &shortcut : m_shortcuts)
        codes.append(shortcut->shortcut()[0].toCombined());
    return codes;
}

bool HotKeyController::hasLiveKeys() const
{
    return std::any_of(m_shortcuts.cbegin(), m_shortcuts.cend(),
                       [](const auto &shortcut) { return shortcut->isRegistered(); });
}

void HotKeyController::retryUnavailable()
{
    m_registry.retryRefused();
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
        if (!m_lookup || !m_lookup(code, &text))
            continue;
        m_delivery.begin(code, text);
        m_pasteTimer.start();
        return;
    }
}
