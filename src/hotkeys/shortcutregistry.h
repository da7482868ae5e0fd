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
    // While one of these lives, new combinations are grabbed together when it goes (one round
    // trip to the server for all of them) and releases are sent together; the objects made
    // meanwhile report isRegistered() only from then on.
    class Batch final
    {
    public:
        Batch();
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;
    };

    // Both return or change nothing for an empty sequence.
    static bool attach(GlobalShortcut *shortcut);
    static void detach(GlobalShortcut *shortcut);
    // True while some combination is held and the platform has a back-end (an X11
    // connection, a supported session).
    static bool hasBackend();
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
    void finishBatch();
    static void dropIfUnused();

    std::unique_ptr<ShortcutBackend> m_backend;
    QHash<int, Combination> m_combinations;
    QList<int> m_pendingGrabs; // new combinations of the running batch
};
