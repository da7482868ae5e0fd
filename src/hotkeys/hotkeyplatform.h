#pragma once

#include "hotkeys/shortcutbackend.h"

#include <functional>
#include <memory>
#include <QClipboard>
#include <QMimeData>
#include <QObject>
#include <QString>
#include <QStringList>

// What the session offers for system-wide hot keys and for keys sent into other programs: X11
// key grabs and XTest, the desktop portals on Wayland, or nothing. Made once at start and handed
// to whatever needs it; tests hand in a fake.
class HotKeyPlatform : public QObject
{
    Q_OBJECT

public:
    // Runs once: with "" when the stroke went out, else with why it did not.
    using StrokeDone = std::function<void(const QString &failure)>;

    // The platform of the session Qt runs in; never null (one without hot keys says why in
    // description()). Nothing here waits: a Wayland desktop's portals are asked in the background.
    static std::unique_ptr<HotKeyPlatform> create();

    // One line for the user: what is in use or, where nothing is, why hot keys cannot work.
    virtual QString description() const = 0;
    // The grabs; null where the platform has none (every registration then fails).
    virtual std::unique_ptr<ShortcutBackend>
    createShortcutBackend(ShortcutBackend::Handlers handlers) = 0;
    // Sends a paste stroke (a Qt key OR-ed with Ctrl and/or Shift) to the focused window. The
    // key is taken from the current keyboard layout, whichever group holds it.
    virtual void sendStroke(int stroke, StrokeDone done) = 0;
    // True when no modifier key and no key of the combination `code` is down; true as well where
    // the platform cannot tell, so that a paste is never held back for nothing.
    virtual bool keysFree(int code);
    // The instance and class names of the focused program's window; empty where unknown.
    virtual QStringList focusedWindowClass();
    // True where focusedWindowClass() names the program (else every paste is Ctrl+V).
    virtual bool namesFocusedProgram() const;
    // Puts `text` where other programs paste from.
    virtual void setClipboard(const QString &text, QClipboard::Mode mode);
    // True where the desktop hands the program's own stroke back to it as a press of a hot key
    // on that stroke.
    virtual bool echoesStrokes() const;

    // Names a hot key of the program that is not a note's (the quick pick's), where the desktop
    // lists them in its shortcut settings; "" takes the name back.
    virtual void nameShortcut(int code, const QString &name);

    // Why a hot key the platform refused cannot work, and what the user can do.
    virtual QString refusalReason() const;
    // What holds for every hot key that does work here ("" when nothing needs saying).
    virtual QString caveat() const;

    // Types `text` into the focused window as key events, leaving the clipboard alone: every
    // character, also those the keyboard layout lacks; a line break as Return, a tab as Tab.
    virtual void typeText(const QString &text, StrokeDone done);
    // What the last text typed left out and why, once it is done ("" when it went whole).
    virtual QString typedWarning() const;

    // Where the desktop asks the user before the program may send keys, its token for that
    // permission from an earlier run, so that it need not ask again; ignored elsewhere.
    virtual void setKeyboardToken(const QString &token);

    // Where the desktop hands one over with a hot key's press, what lets the program's next
    // window take the keyboard (a Wayland activation token); "" elsewhere. Given out once.
    virtual QString takeActivationToken();

    // The window that has the keyboard focus now (0 where unknown), and giving it the focus
    // again after a window of ours took it (a question asked before a paste).
    virtual quintptr focusedWindow();
    // The text other programs would paste now ("" for none).
    virtual QString clipboardText();
    // A copy of what `mode` holds now, null when it holds nothing; false when it could not be
    // read (nothing is put back then).
    virtual bool copyClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> *copy);
    // True while `mode` still holds `text` as this program put it there.
    virtual bool clipboardHolds(QClipboard::Mode mode, const QString &text);
    // Puts a copy made by copyClipboard() back; null empties it.
    virtual void restoreClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> copy);
    virtual void giveFocusBack(quintptr window);

Q_SIGNALS:
    // The platform learned what the session offers (a Wayland desktop answered).
    void descriptionChanged();
    // The desktop gave a new keyboard token (or took it back with ""): keep it for the next run.
    void keyboardTokenChanged(const QString &token);
};
