#include "shortcutregistry.h"

#include "hotkeys/globalshortcut.h"
#include "hotkeys/shortcutbackend.h"
#include "hotkeys/shortcutservice.h"
#include "store/macrostore.h"

#include <QPointer>

namespace {

int combinationOf(const GlobalShortcut *shortcut)
{
    const QKeySequence sequence = shortcut->shortcut();
    return sequence.isEmpty() ? 0 : sequence[0].toCombined();
}

} // namespace

ShortcutRegistry::ShortcutRegistry(ShortcutService &shortcuts, KeyOutput &keys)
    : m_shortcuts(shortcuts), m_keys(keys)
{
}

ShortcutRegistry::~ShortcutRegistry() = default;

ShortcutRegistry::Batch::Batch(ShortcutRegistry &registry) : m_registry(registry)
{
    ++m_registry.m_batchDepth;
}

ShortcutRegistry::Batch::~Batch()
{
    if (--m_registry.m_batchDepth == 0)
        m_registry.finishBatch();
}

ShortcutBackend *ShortcutRegistry::backend()
{
    // Made on first use: a session where nothing is ever ticked never touches the keyboard.
    if (!m_backendMade) {
        m_backendMade = true;
        m_backend = m_shortcuts.createShortcutBackend(
            {[this](int code) { activate(code); }, [this](int code) { release(code); },
             [this](int code, bool grabbed) { regrabbed(code, grabbed); }});
    }
    return m_backend.get();
}

bool ShortcutRegistry::attach(GlobalShortcut *shortcut)
{
    const int code = combinationOf(shortcut);
    if (code == 0)
        return false;
    Combination &combination = m_combinations[code];
    if (combination.holders.isEmpty()) {
        if (m_batchDepth > 0)
            m_pendingGrabs.append(code);
        else
            combination.grabbed = backend() && m_backend->grab(code);
    }
    combination.holders.append(shortcut);
    return combination.grabbed;
}

void ShortcutRegistry::detach(GlobalShortcut *shortcut)
{
    const int code = combinationOf(shortcut);
    const auto it = m_combinations.find(code);
    if (code == 0 || it == m_combinations.end())
        return;
    // Holders mostly go oldest or newest first: both ends cost nothing to take off.
    QList<GlobalShortcut *> &holders = it->holders;
    if (!holders.isEmpty() && holders.first() == shortcut)
        holders.removeFirst();
    else if (!holders.isEmpty() && holders.last() == shortcut)
        holders.removeLast();
    else
        holders.removeOne(shortcut);
    if (!holders.isEmpty())
        return;
    // Also when not grabbed now: a mapping change may have lost the grab, and the back-end
    // would otherwise try it again with the next one.
    if (m_backend) {
        m_backend->ungrab(code);
        if (m_batchDepth == 0)
            m_backend->flush();
    }
    m_combinations.erase(it);
}

void ShortcutRegistry::finishBatch()
{
    QList<int> codes;
    codes.reserve(m_pendingGrabs.size());
    // A combination made and dropped within the batch is not grabbed at all.
    for (int code : std::as_const(m_pendingGrabs)) {
        if (m_combinations.contains(code))
            codes.append(code);
    }
    m_pendingGrabs.clear();
    const QList<bool> grabbed =
        !codes.isEmpty() && backend() ? m_backend->grabMany(codes) : QList<bool>();
    for (qsizetype i = 0; i < codes.size(); ++i) {
        Combination &combination = m_combinations[codes.at(i)];
        combination.grabbed = grabbed.value(i, false);
        for (GlobalShortcut *holder : std::as_const(combination.holders))
            holder->m_registered = combination.grabbed;
    }
    if (m_backend)
        m_backend->flush();
}

void ShortcutRegistry::retryRefused()
{
    QList<int> refused;
    for (auto it = m_combinations.cbegin(); it != m_combinations.cend(); ++it) {
        if (!it->grabbed)
            refused.append(it.key());
    }
    if (!refused.isEmpty() && m_backend)
        m_backend->retryRefused(refused);
}

void ShortcutRegistry::sendStroke(int stroke, KeyOutput::Done done)
{
    // A user's own Ctrl+V in these few milliseconds reaches the focused window as a plain
    // paste of the note just put on the clipboard: no harm, and not worth holding keys back.
    if (m_backend)
        m_backend->suspendPasteGrabs(stroke);
    if (m_keys.echoesStrokes()) {
        m_echo = stroke;
        m_sinceStroke.start();
    }
    // The desktop may answer after this registry went (the program is ending).
    m_keys.sendStroke(stroke, [this, alive = std::weak_ptr<const bool>(m_alive),
                               done = std::move(done)](const QString &failure) {
        if (!alive.expired() && m_backend)
            m_backend->resumePasteGrabs();
        done(failure);
    });
}

void ShortcutRegistry::typeText(const QString &text, KeyOutput::Done done)
{
    if (m_backend)
        m_backend->suspendTypingGrabs();
    m_typing = true;
    m_keys.typeText(text, [this, alive = std::weak_ptr<const bool>(m_alive),
                           done = std::move(done)](const QString &failure) {
        if (!alive.expired()) {
            m_typing = false;
            if (m_backend)
                m_backend->resumePasteGrabs();
        }
        done(failure);
    });
}

void ShortcutRegistry::activate(int code)
{
    if (m_typing && (code & (MacroStore::CtrlBit | MacroStore::AltBit)) == 0)
        return;
    if (code == m_echo && m_sinceStroke.isValid() && m_sinceStroke.elapsed() < EchoMs) {
        m_sinceStroke.invalidate();
        return;
    }
    // Where the platform reports releases it reports the repeats of a held chord as presses
    // too: one press is one paste, however long the chord is held.
    if (isHeld(code))
        return;
    const auto it = m_combinations.constFind(code);
    if (it == m_combinations.constEnd() || it->holders.isEmpty())
        return;
    if (m_backend && m_backend->reportsReleases())
        m_held[code].start();
    // Queued: the back-end is inside its event filter now, and a slot may destroy the holder.
    QPointer<GlobalShortcut> first = it->holders.first();
    QMetaObject::invokeMethod(
        first,
        [first] {
            if (first)
                Q_EMIT first->activated();
        },
        Qt::QueuedConnection);
}

void ShortcutRegistry::release(int code)
{
    m_held.remove(code);
}

bool ShortcutRegistry::isHeld(int code) const
{
    const auto it = m_held.constFind(code);
    return it != m_held.constEnd() && it->elapsed() < HeldMs;
}

void ShortcutRegistry::regrabbed(int code, bool grabbed)
{
    const auto it = m_combinations.find(code);
    if (it == m_combinations.end())
        return;
    it->grabbed = grabbed;
    for (GlobalShortcut *holder : std::as_const(it->holders)) {
        holder->m_registered = grabbed;
        Q_EMIT holder->registrationChanged();
    }
}
