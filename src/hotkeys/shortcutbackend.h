#pragma once

#include <functional>
#include <memory>
#include <QList>

// What a platform must offer GlobalShortcut: grab and release one combination (a Qt key code
// OR-ed with Qt's modifier flags) and report presses of grabbed ones. A back-end never holds the
// same combination twice; ShortcutRegistry shares one grab between objects.
class ShortcutBackend
{
public:
    struct Handlers
    {
        // A grabbed combination was pressed.
        std::function<void(int code)> activated;
        // The keyboard mapping changed and a combination could (not) be grabbed again.
        std::function<void(int code, bool grabbed)> regrabbed;
    };

    virtual ~ShortcutBackend() = default;

    // False when the platform refuses the combination (another program holds it, or the key
    // does not exist on this keyboard). Nothing stays grabbed then.
    virtual bool grab(int code) = 0;
    // May only queue the release; flush() sends what is queued.
    virtual void ungrab(int code) = 0;
    virtual void flush() {}

    // Grabs several combinations at once, one result per code. A back-end that talks to a
    // server sends every request before it waits for the first answer.
    virtual QList<bool> grabMany(const QList<int> &codes)
    {
        QList<bool> grabbed;
        grabbed.reserve(codes.size());
        for (int code : codes)
            grabbed.append(grab(code));
        return grabbed;
    }

    // Around KeySender's paste key stroke `stroke` (a Qt code): lets go of every grab that the
    // stroke would trigger, so it reaches the window with the focus rather than this program,
    // and takes them again. The release is done on the server when suspendPasteGrabs() returns.
    virtual void suspendPasteGrabs(int stroke) = 0;
    virtual void resumePasteGrabs() = 0;

    // The back-end of the platform the application runs on, or null where there is none (no X11
    // connection): every registration then quietly fails. HotKeyPlatform makes the choice.
    static std::unique_ptr<ShortcutBackend> create(Handlers handlers);
};
