#pragma once

#include <functional>
#include <QString>

// Keys sent into the program that has the focus: the paste stroke and typed text. One role of
// the platform (Platform); the default sends nothing and says so.
class KeyOutput
{
public:
    // Runs once: with "" when the keys went out, else with why they did not.
    using Done = std::function<void(const QString &failure)>;

    virtual ~KeyOutput() = default;

    // Sends a stroke (a Qt key OR-ed with Ctrl and/or Shift) to the focused window. The key is
    // taken from the current keyboard layout, whichever group holds it.
    virtual void sendStroke(int stroke, Done done);
    // Types `text` into the focused window as key events, leaving the clipboard alone: every
    // character, also those the keyboard layout lacks; a line break as Return, a tab as Tab.
    virtual void typeText(const QString &text, Done done);
    // What the last text typed left out and why, once it is done ("" when it went whole).
    virtual QString typedWarning() const;
    // True when no modifier key and no key of the combination `code` is down; true as well where
    // the session cannot tell, so that a paste is never held back for nothing.
    virtual bool keysFree(int code);
    // True where the desktop hands the program's own stroke back to it as a press of a hot key
    // on that stroke.
    virtual bool echoesStrokes() const;
    // Where the desktop asks the user before the program may send keys, its token for that
    // permission from an earlier run, so that it need not ask again; ignored elsewhere.
    virtual void setKeyboardToken(const QString &token);
};
