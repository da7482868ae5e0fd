// The paste key stroke on X11, through the XTest extension.
#include "hotkeys/x11/x11backends.h"
#include "hotkeys/x11/x11keysyms.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QList>
#include <QTimer>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/Xlib.h>

namespace {

// A spare key keeps the borrowed symbol this long after the stroke: each program re-reads the
// keyboard mapping when it handles the change, which may be well after the stroke was sent, and
// must still find the symbol there.
constexpr int LentKeyMs = 1500;

// Counts the strokes that lent a key, so only the last one gives it back; and the key lent now.
unsigned s_lendings = 0;
KeyCode s_lentKeycode = 0;

// A keycode that no key symbol and no modifier uses, highest first; 0 when there is none.
KeyCode spareKeycode(Display *display)
{
    int min = 0;
    int max = 0;
    XDisplayKeycodes(display, &min, &max);
    int perKeycode = 0;
    KeySym *map =
        XGetKeyboardMapping(display, static_cast<KeyCode>(min), max - min + 1, &perKeycode);
    if (!map)
        return 0;
    XModifierKeymap *modifiers = XGetModifierMapping(display);
    KeyCode spare = 0;
    for (int keycode = max; keycode >= min && spare == 0; --keycode) {
        bool empty = true;
        for (int i = 0; i < perKeycode && empty; ++i)
            empty = map[(keycode - min) * perKeycode + i] == NoSymbol;
        for (int i = 0; modifiers && i < 8 * modifiers->max_keypermod && empty; ++i)
            empty = modifiers->modifiermap[i] != keycode;
        if (empty)
            spare = static_cast<KeyCode>(keycode);
    }
    if (modifiers)
        XFreeModifiermap(modifiers);
    XFree(map);
    return spare;
}

void setKeysym(Display *display, KeyCode keycode, KeySym keysym)
{
    KeySym syms[2] = {keysym, keysym};
    XChangeKeyboardMapping(display, keycode, 2, syms, 1);
    XSync(display, False);
}

// Gives the lent key back to nobody, unless a later stroke lent it again meanwhile.
void returnLentKey(const QByteArray &displayName, KeyCode keycode, KeySym keysym, unsigned lending)
{
    if (lending != s_lendings)
        return;
    s_lentKeycode = 0;
    Display *display = XOpenDisplay(displayName.constData());
    if (!display)
        return;
    int perKeycode = 0;
    KeySym *now = XGetKeyboardMapping(display, keycode, 1, &perKeycode);
    // A layout switch meanwhile has put its own mapping in place: leave that alone.
    if (now && perKeycode > 0 && now[0] == keysym)
        setKeysym(display, keycode, NoSymbol);
    if (now)
        XFree(now);
    XCloseDisplay(display);
}

} // namespace

bool sendX11Paste(int stroke)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return false;
    const KeySym keysym = x11KeysymForQtKey(stroke & ~Qt::KeyboardModifierMask);
    if (keysym == 0)
        return false;
    // A connection of its own: Xlib's keymap cache on Qt's display never hears of a layout
    // switch (Qt reads the events), so the keycodes would go stale there.
    const QByteArray displayName = XDisplayString(x11->display());
    Display *display = XOpenDisplay(displayName.constData());
    if (!display)
        return false;
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    bool sent = false;
    if (XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        QList<KeyCode> modifiers;
        if (stroke & Qt::ControlModifier)
            modifiers.append(XKeysymToKeycode(display, XK_Control_L));
        if (stroke & Qt::ShiftModifier)
            modifiers.append(XKeysymToKeycode(display, XK_Shift_L));
        // Any group will do: programs map Ctrl with a key of another alphabet to its Latin
        // meaning. A layout without the key at all gets it on a spare keycode for a moment.
        KeyCode key = XKeysymToKeycode(display, keysym);
        bool lent = key != 0 && key == s_lentKeycode; // still lent from the last stroke
        if (key == 0 && (key = spareKeycode(display)) != 0) {
            setKeysym(display, key, keysym);
            s_lentKeycode = key;
            lent = true;
        }
        if (key != 0 && !modifiers.contains(0)) {
            for (KeyCode modifier : std::as_const(modifiers))
                XTestFakeKeyEvent(display, modifier, True, CurrentTime);
            XTestFakeKeyEvent(display, key, True, CurrentTime);
            XTestFakeKeyEvent(display, key, False, CurrentTime);
            for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it)
                XTestFakeKeyEvent(display, *it, False, CurrentTime);
            XSync(display, False);
            sent = true;
        }
        if (lent) {
            const unsigned lending = ++s_lendings;
            QTimer::singleShot(LentKeyMs, qGuiApp, [displayName, key, keysym, lending] {
                returnLentKey(displayName, key, keysym, lending);
            });
        }
    }
    XCloseDisplay(display);
    return sent;
}
