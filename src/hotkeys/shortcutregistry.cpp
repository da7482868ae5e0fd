#include "shortcutregistry.h"

#include "hotkeys/globalshortcut.h"
#include "hotkeys/keysender.h"
#include "hotkeys/shortcutbackend.h"

#include <QPointer>

namespace {

ShortcutRegistry *s_registry = nullptr;
int s_batchDepth = 0;

int combinationOf(const GlobalShortcut *shortcut)
{
    const QKeySequence sequence = shortcut->shortcut();
    return sequence.isEmpty() ? 0 : sequence[0].toCombined();
}

} // namespace

ShortcutRegistry::ShortcutRegistry()
    : m_backend(
          ShortcutBackend::create({[this](int code) { activate(code); },
                                   [this](int code, bool grabbed) { regrabbed(code, grabbed); }}))
{
}

ShortcutRegistry::~ShortcutRegistry() = default;

ShortcutRegistry::Batch::Batch()
{
    ++s_batchDepth;
}

ShortcutRegistry::Batch::~Batch()
{
    if (--s_batchDepth == 0 && s_registry)
        s_registry->finishBatch();
}

bool ShortcutRegistry::attach(GlobalShortcut *shortcut)
{
    const int code = combinationOf(shortcut);
    if (code == 0)
        return false;
    if (!s_registry)
        s_registry = new ShortcutRegistry;
    Combination &combination = s_registry->m_combinations[code];
    if (combination.holders.isEmpty()) {
        if (s_batchDepth > 0)
            s_registry->m_pendingGrabs.append(code);
        else
            combination.grabbed = s_registry->m_backend && s_registry->m_backend->grab(code);
    }
    combination.holders.append(shortcut);
    return combination.grabbed;
}

void ShortcutRegistry::detach(GlobalShortcut *shortcut)
{
    const int code = combinationOf(shortcut);
    if (code == 0 || !s_registry)
        return;
    auto it = s_registry->m_combinations.find(code);
    if (it == s_registry->m_combinations.end())
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
    if (s_registry->m_backend) {
        s_registry->m_backend->ungrab(code);
        if (s_batchDepth == 0)
            s_registry->m_backend->flush();
    }
    s_registry->m_combinations.erase(it);
    if (s_batchDepth == 0)
        dropIfUnused();
}

void ShortcutRegistry::dropIfUnused()
{
    if (s_registry && s_registry->m_combinations.isEmpty()) {
        delete s_registry;
        s_registry = nullptr;
    }
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
    const QList<bool> grabbed = m_backend ? m_backend->grabMany(codes) : QList<bool>();
    for (qsizetype i = 0; i < codes.size(); ++i) {
        Combination &combination = m_combinations[codes.at(i)];
        combination.grabbed = grabbed.value(i, false);
        for (GlobalShortcut *holder : std::as_const(combination.holders))
            holder->m_registered = combination.grabbed;
    }
    if (m_backend)
        m_backend->flush();
    dropIfUnused();
}

bool ShortcutRegistry::hasBackend()
{
    return s_registry && s_registry->m_backend;
}

bool ShortcutRegistry::sendPaste(int stroke)
{
    // A user's own Ctrl+V in these few milliseconds reaches the focused window as a plain
    // paste of the note just put on the clipboard: no harm, and not worth holding keys back.
    ShortcutBackend *backend = s_registry ? s_registry->m_backend.get() : nullptr;
    if (backend)
        backend->suspendPasteGrabs(stroke);
    const bool sent = KeySender::sendPaste(stroke);
    if (backend)
        backend->resumePasteGrabs();
    return sent;
}

void ShortcutRegistry::activate(int code)
{
    const auto it = m_combinations.constFind(code);
    if (it == m_combinations.constEnd() || it->holders.isEmpty())
        return;
    // Queued: the back-end is inside its event filter now, and a slot may destroy the last
    // holder and with it this registry and the back-end.
    QPointer<GlobalShortcut> first = it->holders.first();
    QMetaObject::invokeMethod(
        first,
        [first] {
            if (first)
                Q_EMIT first->activated();
        },
        Qt::QueuedConnection);
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
