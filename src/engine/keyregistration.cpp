#include "keyregistration.h"

#include "core/consolekeys.h"
#include "hotkeys/globalshortcut.h"
#include "hotkeys/shortcutregistry.h"
#include "hotkeys/shortcutservice.h"

#include <algorithm>
#include <QKeySequence>
#include <QSet>

KeyRegistration::KeyRegistration(ShortcutService &shortcuts, ShortcutRegistry &registry,
                                 QObject *parent)
    : QObject(parent), m_shortcuts(shortcuts), m_registry(registry)
{
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, &KeyRegistration::retryUnavailable);
}

KeyRegistration::~KeyRegistration()
{
    release();
}

void KeyRegistration::setQuickPickCode(int code)
{
    if (code == m_quickPickCode)
        return;
    m_quickPick.reset();
    m_shortcuts.nameShortcut(m_quickPickCode, QString());
    m_quickPickCode = code;
    if (code != 0 && !ConsoleKeys::isConsoleSwitchKey(code)) {
        m_shortcuts.nameShortcut(code, tr("Pick a note"));
        m_quickPick = std::make_unique<GlobalShortcut>(QKeySequence(code), m_registry);
        connect(m_quickPick.get(), &GlobalShortcut::activated, this,
                &KeyRegistration::quickPickPressed);
        connect(m_quickPick.get(), &GlobalShortcut::registrationChanged, this,
                &KeyRegistration::reportUnavailable);
    }
    // The notes' keys take or give way to the new combination.
    if (!m_codes.isEmpty())
        hold(m_codes);
    else
        reportUnavailable();
}

bool KeyRegistration::quickPickRegistered() const
{
    return m_quickPick && m_quickPick->isRegistered();
}

QString KeyRegistration::quickPickRefusal() const
{
    if (!m_quickPick || m_quickPick->isRegistered() || !m_registry.hasBackend())
        return QString();
    return tr("\"Pick a note\" (%1) is unavailable: %2")
        .arg(QKeySequence(m_quickPickCode).toString(QKeySequence::NativeText),
             m_shortcuts.refusalReason());
}

void KeyRegistration::hold(const QList<int> &codes)
{
    release();
    m_codes = codes;
    {
        // All grabs in one go to the server; one object per combination, however many notes
        // share it (a press delivers the first of them).
        const ShortcutRegistry::Batch batch(m_registry);
        QSet<int> made;
        for (int code : codes) {
            if (code == 0 || made.contains(code))
                continue;
            made.insert(code);
            if (ConsoleKeys::isConsoleSwitchKey(code) || code == m_quickPickCode)
                m_kept.append(code);
            else
                m_held.push_back(std::make_unique<GlobalShortcut>(QKeySequence(code), m_registry));
        }
    }
    for (const auto &shortcut : m_held) {
        const int code = shortcut->shortcut()[0].toCombined();
        connect(shortcut.get(), &GlobalShortcut::activated, this,
                [this, code] { Q_EMIT pressed(code); });
        connect(shortcut.get(), &GlobalShortcut::registrationChanged, this,
                &KeyRegistration::reportUnavailable);
    }
    reportUnavailable();
    Q_EMIT changed();
}

void KeyRegistration::letGo()
{
    release();
    m_codes.clear();
    reportUnavailable();
    Q_EMIT changed();
}

void KeyRegistration::release()
{
    // Released newest first, and the releases go to the server together.
    const ShortcutRegistry::Batch batch(m_registry);
    while (!m_held.empty())
        m_held.pop_back();
    m_kept.clear();
}

void KeyRegistration::reportUnavailable()
{
    // A hot key another program holds may be let go of any time: asked for again until then.
    const bool quickPickRefused = !quickPickRefusal().isEmpty();
    const bool refused =
        quickPickRefused || (m_registry.hasBackend() &&
                             std::any_of(m_held.cbegin(), m_held.cend(), [](const auto &shortcut) {
                                 return !shortcut->isRegistered();
                             }));
    if (refused && !m_retry.isActive())
        m_retry.start();
    else if (!refused)
        m_retry.stop();
    // Only news is reported: nothing was unavailable and nothing is.
    const bool hasUnavailable = quickPickRefused || !unavailable().isEmpty();
    if (hasUnavailable || m_hadUnavailable)
        Q_EMIT unavailableChanged();
    m_hadUnavailable = hasUnavailable;
}

QHash<int, QString> KeyRegistration::unavailable() const
{
    QHash<int, QString> result;
    const QString refused = m_shortcuts.refusalReason();
    for (const auto &shortcut : m_held) {
        if (!shortcut->isRegistered())
            result.insert(shortcut->shortcut()[0].toCombined(), refused);
    }
    for (int code : m_kept)
        result.insert(code, code == m_quickPickCode
                                ? tr("This hot key opens \"Pick a note\" (Preferences).")
                                : ConsoleKeys::reason(code));
    return result;
}

QString KeyRegistration::caveat() const
{
    return m_shortcuts.caveat();
}

QList<int> KeyRegistration::liveCodes() const
{
    QList<int> codes;
    codes.reserve(int(m_held.size()));
    for (const auto &shortcut : m_held)
        codes.append(shortcut->shortcut()[0].toCombined());
    return codes;
}

bool KeyRegistration::hasLiveKeys() const
{
    return std::any_of(m_held.cbegin(), m_held.cend(),
                       [](const auto &shortcut) { return shortcut->isRegistered(); });
}

void KeyRegistration::retryUnavailable()
{
    m_registry.retryRefused();
}
