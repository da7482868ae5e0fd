#pragma once

#include "hotkeys/shortcutbackend.h"

#include <memory>
#include <QString>

// What a session offers for system-wide hot keys: X11 key grabs, a desktop's shortcuts portal, or
// nothing. One role of the platform (Platform).
class ShortcutService
{
public:
    virtual ~ShortcutService() = default;

    // One line for the user: what is in use or, where nothing is, why hot keys cannot work.
    virtual QString description() const = 0;
    // The grabs; null where the session has none (every registration then fails).
    virtual std::unique_ptr<ShortcutBackend>
    createShortcutBackend(ShortcutBackend::Handlers handlers) = 0;
    // Why a hot key the session refused cannot work, and what the user can do.
    virtual QString refusalReason() const;
    // What holds for every hot key that does work here ("" when nothing needs saying).
    virtual QString caveat() const;
    // Names a hot key of the program that is not a note's (the quick pick's), where the desktop
    // lists them in its shortcut settings; "" takes the name back.
    virtual void nameShortcut(int code, const QString &name);
    // Where the desktop hands one over with a hot key's press, what lets the program's next
    // window take the keyboard (a Wayland activation token); "" elsewhere. Given out once.
    virtual QString takeActivationToken();
};
