#include "hotkeycontroller.h"

#include "core/consolekeys.h"
#include "hotkeys/globalshortcut.h"
#include "store/preferences.h"

#include <algorithm>
#include <QDateTime>
#include <QKeySequence>
#include <QPointer>
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
        if (!failure.isEmpty())
            m_caretLeft = 0; // the text is not where the caret is
        m_settleTimer.start();
        Q_EMIT pasteFinished(failure.isEmpty() ? m_delivery.warning() : failure);
    });
    m_retryTimer.setInterval(RetryMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &HotKeyController::retryUnavailable);
    // The caret goes back to {{cursor}} once the target has taken the whole text in.
    connect(&m_settleTimer, &QTimer::timeout, this, &HotKeyController::moveCaret);
}

HotKeyController::~HotKeyController()
{
    release();
}

void HotKeyController::setPreferences(const Preferences &preferences)
{
    m_delivery.setPreferences(preferences);
    m_platform.setKeyboardToken(preferences.keyboardToken());
    if (std::exchange(m_fillIn, preferences.expandPlaceholders()) != m_fillIn)
        Q_EMIT fillInSwitched(m_fillIn);
    setQuickPickCode(preferences.quickPickShortcut());
}

void HotKeyController::setNotes(std::function<QString(int)> nameOf, FillIn::NoteLookup textOf)
{
    m_nameOf = std::move(nameOf);
    m_textOf = std::move(textOf);
}

void HotKeyController::setQuickPickCode(int code)
{
    if (code == m_quickPickCode)
        return;
    m_quickPick.reset();
    m_platform.nameShortcut(m_quickPickCode, QString());
    m_quickPickCode = code;
    if (code != 0 && !ConsoleKeys::isConsoleSwitchKey(code)) {
        m_platform.nameShortcut(code, tr("Pick a note"));
        m_quickPick = std::make_unique<GlobalShortcut>(QKeySequence(code), m_registry);
        connect(m_quickPick.get(), &GlobalShortcut::activated, this,
                &HotKeyController::quickPickPressed);
        connect(m_quickPick.get(), &GlobalShortcut::registrationChanged, this,
                &HotKeyController::reportUnavailable);
    }
    // The live notes take or give way to the new combination.
    if (!m_active.isEmpty())
        activate(m_active, m_activeCodes, m_lookup);
    else
        reportUnavailable();
}

bool HotKeyController::quickPickRegistered() const
{
    return m_quickPick && m_quickPick->isRegistered();
}

QString HotKeyController::quickPickRefusal() const
{
    if (!m_quickPick || m_quickPick->isRegistered() || !m_registry.hasBackend())
        return QString();
    return tr("\"Pick a note\" (%1) is unavailable: %2")
        .arg(QKeySequence(m_quickPickCode).toString(QKeySequence::NativeText),
             m_platform.refusalReason());
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
    m_activeCodes = codes;
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
            if (ConsoleKeys::isConsoleSwitchKey(code) || code == m_quickPickCode)
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
    const bool quickPickRefused = !quickPickRefusal().isEmpty();
    const bool refused =
        quickPickRefused ||
        (m_registry.hasBackend() &&
         std::any_of(m_shortcuts.cbegin(), m_shortcuts.cend(), [](const auto &shortcut) {
             return !shortcut->isRegistered() && !shortcut->shortcut().isEmpty();
         }));
    if (refused && !m_retryTimer.isActive())
        m_retryTimer.start();
    else if (!refused)
        m_retryTimer.stop();
    // Only news is reported: nothing was unavailable and nothing is.
    const bool hasUnavailable = quickPickRefused || !unavailable().isEmpty();
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
        result.insert(code, code == m_quickPickCode
                                ? tr("This hot key opens \"Pick a note\" (Preferences).")
                                : ConsoleKeys::reason(code));
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
    QString text;
    if (!m_lookup || !m_lookup(code, &text))
        return;
    queue({code, m_active, QString(), text, {}, QString()});
}

void HotKeyController::deliverNote(const QString &master, const QString &note, const QString &text,
                                   FillIn::NoteLookup notes)
{
    queue({0, master, note, text, std::move(notes), QString()});
}

void HotKeyController::queue(Delivery delivery)
{
    if (m_fillIn) {
        // What the notes it includes say now is what it delivers, each looked up once.
        delivery.notes = FillIn::remembering(delivery.notes ? delivery.notes : m_textOf);
        FillIn scan(QDateTime(), {});
        scan.setNotes(delivery.notes);
        // Read now, as the delivery puts the note's own text there; and only for a note that
        // asks for it, as a large clipboard costs its owner's time and our memory.
        if (scan.readsClipboard(delivery.text))
            delivery.clipboard = m_delivery.userClipboard();
    }
    m_pending.append(delivery);
    if (!m_delivery.isBusy() && !m_settleTimer.isActive() && !m_asking)
        deliverNext();
}

void HotKeyController::deliverNext()
{
    while (!m_pending.isEmpty()) {
        Delivery next = m_pending.takeFirst();
        m_caretLeft = 0;
        if (m_fillIn && !fillIn(next))
            continue;
        m_delivery.begin(next.code, next.text, next.clipboard);
        m_pasteTimer.start();
        return;
    }
}

// False when the user cancelled an input: nothing is delivered then.
bool HotKeyController::fillIn(Delivery &delivery)
{
    const QString clipboard = delivery.clipboard;
    FillIn fillIn(QDateTime::currentDateTime(), [clipboard] { return clipboard; });
    // A picked note may belong to a master macro that is not live: its picker knows its notes.
    fillIn.setNotes(delivery.notes ? delivery.notes : m_textOf);
    if (m_ask) {
        // The question runs an event loop of its own; presses meanwhile wait their turn.
        fillIn.setInput(
            [this](const QString &note, const QStringList &labels, QStringList *values) {
                const quintptr focused = m_platform.focusedWindow();
                m_asking = true;
                const bool answered = m_ask(note, labels, values);
                m_asking = false;
                // Answered or cancelled, the keyboard goes back to where the user was.
                m_platform.giveFocusBack(focused);
                return answered;
            });
    }
    const QString name = !delivery.note.isEmpty() ? delivery.note
                         : m_nameOf               ? m_nameOf(delivery.code)
                                                  : QString();
    const FillIn::Result result = fillIn.expand(delivery.text, name);
    Q_EMIT fillInWarning(result.warnings.join(QLatin1Char('\n')));
    if (result.cancelled)
        return false;
    delivery.text = result.text;
    m_caretLeft = result.cursorLeft;
    return true;
}

void HotKeyController::moveCaret()
{
    if (m_caretLeft <= 0) {
        m_delivery.end();
        deliverNext();
        return;
    }
    --m_caretLeft;
    // One stroke at a time, each after the last went out; the desktop may answer later.
    QPointer<HotKeyController> self(this);
    m_platform.sendStroke(Qt::Key_Left, [self](const QString &failure) {
        if (!self)
            return;
        if (!failure.isEmpty())
            self->m_caretLeft = 0;
        QMetaObject::invokeMethod(self, &HotKeyController::moveCaret, Qt::QueuedConnection);
    });
}
