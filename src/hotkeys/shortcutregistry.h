#pragma once

#include "hotkeys/keyoutput.h"

#include <memory>
#include <QElapsedTimer>
#include <QHash>
#include <QList>

class GlobalShortcut;
class ShortcutBackend;
class ShortcutService;

// The bookkeeping behind the live GlobalShortcuts: one platform grab per combination, however
// many objects hold it, kept until the last of them goes; one activation per press, on the
// oldest holder. The platform's back-end is made with the first combination held.
class ShortcutRegistry final
{
public:
    // While one of these lives, new combinations are grabbed together when it goes (one round
    // trip to the server for all of them) and releases are sent together; the objects made
    // meanwhile report isRegistered() only from then on.
    class Batch final
    {
    public:
        explicit Batch(ShortcutRegistry &registry);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        ShortcutRegistry &m_registry;
    };

    ShortcutRegistry(ShortcutService &shortcuts, KeyOutput &keys);
    ~ShortcutRegistry();
    ShortcutRegistry(const ShortcutRegistry &) = delete;
    ShortcutRegistry &operator=(const ShortcutRegistry &) = delete;

    // Both return or change nothing for an empty sequence.
    bool attach(GlobalShortcut *shortcut);
    void detach(GlobalShortcut *shortcut);
    // True while the platform has a back-end (an X11 connection, a supported session).
    bool hasBackend() const { return m_backend != nullptr; }
    // Asks the platform again for the combinations it refused.
    void retryRefused();

    // The platform's stroke with the grabs it would trigger let go meanwhile: a hot key on
    // Ctrl+V would otherwise catch the program's own paste and fire again. Where the desktop
    // hands the stroke back as a press, that press is dropped.
    void sendStroke(int stroke, KeyOutput::Done done);
    // The platform's typing with the grabs a typed character would trigger let go meanwhile;
    // where the desktop still hands such a press over, it is dropped: a hot key on Shift and a
    // letter would otherwise catch a typed capital and type its own note again and again.
    void typeText(const QString &text, KeyOutput::Done done);

    // True while a chord the back-end reported pressed has not been reported let go of: where
    // the platform cannot see the keys, the paste waits for this.
    bool isHeld(int code) const;

    // An activation of the stroke's combination this soon after it went out is its echo.
    static constexpr qint64 EchoMs = 1000;
    // A chord reported pressed and never let go of counts as let go of after this long.
    static constexpr qint64 HeldMs = 10000;

private:
    struct Combination
    {
        QList<GlobalShortcut *> holders; // in creation order
        bool grabbed = false;
    };

    void activate(int code);
    void release(int code);
    void regrabbed(int code, bool grabbed);
    void finishBatch();
    ShortcutBackend *backend();

    ShortcutService &m_shortcuts;
    KeyOutput &m_keys;
    std::unique_ptr<ShortcutBackend> m_backend;
    bool m_backendMade = false;
    int m_batchDepth = 0;
    QHash<int, Combination> m_combinations;
    QList<int> m_pendingGrabs; // new combinations of the running batch
    bool m_typing = false;
    int m_echo = 0; // the last stroke sent, while its echo may come
    QElapsedTimer m_sinceStroke;
    QHash<int, QElapsedTimer> m_held; // chords pressed and not yet let go of, since when
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
};
