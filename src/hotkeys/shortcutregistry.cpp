#include "shortcutregistry.h"

#include "hotkeys/globalshortcut.h"
#include "hotkeys/keysender.h"
#include "hotkeys/shortcutbackend.h"

#include <QPointer>

namespace {

ShortcutRegistry *s_registry = nullptr;

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

bool ShortcutRegistry::attach(GlobalShortcut *shortcut)
{
    const int code = combinationOf(shortcut);
    if (code == 0)
        return false;
    if (!s_registry)
        s_registry = new ShortcutRegistry;
    Combination &combination = s_registry->m_combinations[code];
    if (combination.holders.isEmpty())
        combination.grabbed = s_registry->m_backend && s_registry->m_backend->grab(code);
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
    it->holders.removeOne(shortcut);
    if (!it->holders.isEmpty())
        return;
    // Also when not grabbed now: a mapping change may have lost the grab, and the back-end
    // would otherwise try it again with the next one.
    if (s_registry->m_backend)
        s_registry->m_backend->ungrab(code);
    s_registry->m_combinations.erase(it);
    if (s_registry->m_combinations.isEmpty()) {
        delete s_registry;
        s_registry = nullptr;
    }
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
    for (GlobalShortcut *holder : std::as_const(it->holders))
        holder->m_registered = grabbed;
}
