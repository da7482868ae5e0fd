#pragma once

#include <functional>
#include <QList>
#include <QtGlobal>

// What a platform must offer GlobalShortcut: grab and release one combination (a Qt key code
// OR-ed with Qt's modifier flags) and report presses of grabbed ones. A back-end never holds the
// same combination twice; ShortcutRegistry shares one grab between objects.
class ShortcutBackend
{
public:
    struct Handlers
    {
        // A grabbed combination was pressed. A back-end that reports releases (below) may report
        // every auto-repeat of a held chord as a press too.
        std::function<void(int code)> activated;
        // A pressed combination was let go of, where the platform says so.
        std::function<void(int code)> released;
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

    // True where Handlers::released comes for every press (and repeats come as presses).
    virtual bool reportsReleases() const { return false; }

    // Tries again the combinations the platform refused before (another program may have let
    // go of them); each one that is grabbed now is reported through Handlers::regrabbed.
    virtual void retryRefused(const QList<int> &codes) { Q_UNUSED(codes) }

    // Around the paste stroke `stroke` (a Qt code): lets go of every grab that the stroke would
    // trigger, so it reaches the window with the focus rather than this program, and takes them
    // again. The release is done on the server when suspendPasteGrabs() returns.
    virtual void suspendPasteGrabs(int stroke) { Q_UNUSED(stroke) }
    // The same around a typed text: every grab without Ctrl or Alt, which a typed character
    // (Shift and a key) would trigger. resumePasteGrabs() takes them again.
    virtual void suspendTypingGrabs() {}
    virtual void resumePasteGrabs() {}
};
