#pragma once

#include "core/typedkey.h"

#include <functional>
#include <QString>
#include <QStringList>

// Watching what is typed in every program, for abbreviations: one role of the platform
// (Platform). Nothing is grabbed and nothing kept here; keys go to the handler as they come. The
// default watches nothing and says why.
class KeyWatcher
{
public:
    struct Handlers
    {
        std::function<void(const TypedKey &key)> key;
        // The window typed into changed (instance and class names; empty where unknown). Reported
        // before the first key into it.
        std::function<void(const QStringList &windowClass)> focusChanged;
        // Another program took the whole keyboard (a password prompt, a screen locker), or let go.
        std::function<void(bool grabbed)> grabChanged;
    };

    virtual ~KeyWatcher() = default;

    // "" where keys can be watched; otherwise why not, for the user.
    virtual QString unavailableReason() const;
    // Starts watching with `handlers`, or stops with none (nothing then looks at the keyboard).
    virtual void watch(const Handlers &handlers);
    // Another program holds the keyboard now; asked once more before a replacement goes out.
    virtual bool keyboardGrabbed();
    // Forgets the keys that came in up to now unseen (the program's own, just sent).
    virtual void skipPending();
    // Hands the keys typed up to now that are still on their way to the handler at once.
    virtual void catchUp();
};
