// The paste key stroke on X11, through the XTest extension.
#include "hotkeys/x11/x11backends.h"

#include <QGuiApplication>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/Xlib.h>

bool sendX11Paste()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return false;
    // A connection of its own: Xlib's keymap cache on Qt's display never hears of a layout
    // switch (Qt reads the events), so the keycode of V would go stale there.
    Display *display = XOpenDisplay(XDisplayString(x11->display()));
    if (!display)
        return false;
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    bool sent = false;
    if (XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        const KeyCode ctrl = XKeysymToKeycode(display, XK_Control_L);
        const KeyCode v = XKeysymToKeycode(display, XK_v);
        if (ctrl != 0 && v != 0) {
            XTestFakeKeyEvent(display, ctrl, True, CurrentTime);
            XTestFakeKeyEvent(display, v, True, CurrentTime);
            XTestFakeKeyEvent(display, v, False, CurrentTime);
            XTestFakeKeyEvent(display, ctrl, False, CurrentTime);
            XSync(display, False);
            sent = true;
        }
    }
    XCloseDisplay(display);
    return sent;
}
