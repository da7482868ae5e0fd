#pragma once

#include <memory>
#include <QHash>
#include <QList>

class GlobalShortcut;
class ShortcutBackend;

// The bookkeeping behind every live GlobalShortcut: one platform grab per combination, however
// many objects hold it, kept until the last of them goes; one activation per press, on the
// oldest holder. It exists only while some object holds a combination, so the back-end never
// outlives the platform connection it works on.
class ShortcutRegistry final
{
public:
    // Both return or change nothing for an empty sequence.
    static bool attach(GlobalShortcut *shortcut);
    static void detach(GlobalShortcut *shortcut);
    // KeySender::sendPaste(stroke) with the grabs it would trigger let go meanwhile: a hot key
    // on Ctrl+V would otherwise catch the program's own paste and fire again.
    static bool sendPaste(int stroke);

    ~ShortcutRegistry();

private:
    struct Combination
    {
        QList<GlobalShortcut *> holders; // in creation order
        bool grabbed = false;
    };

    ShortcutRegistry();
    void activate(int code);
    void regrabbed(int code, bool grabbed);

    std::unique_ptr<ShortcutBackend> m_backend;
    QHash<int, Combination> m_combinations;
};
