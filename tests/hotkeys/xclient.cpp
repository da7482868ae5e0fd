#include "xclient.h"

#include <algorithm>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {
bool s_grabFailed = false;
} // namespace

XClient::XClient() : m_display(XOpenDisplay(nullptr)) {}

XClient::~XClient()
{
    if (m_display)
        XCloseDisplay(m_display);
}

unsigned XClient::keycode(unsigned long keysym) const
{
    return XKeysymToKeycode(m_display, keysym);
}

void XClient::keys(QList<unsigned long> keysyms, bool down)
{
    if (!down)
        std::reverse(keysyms.begin(), keysyms.end());
    for (unsigned long keysym : keysyms)
        XTestFakeKeyEvent(m_display, keycode(keysym), down, CurrentTime);
    XSync(m_display, False);
}

void XClient::press(const QList<unsigned long> &modifiers, unsigned key)
{
    keys(modifiers, true);
    XTestFakeKeyEvent(m_display, key, True, CurrentTime);
    XTestFakeKeyEvent(m_display, key, False, CurrentTime);
    keys(modifiers, false);
}

void XClient::repeat(unsigned delay, unsigned interval)
{
    XAutoRepeatOn(m_display);
    XkbSetAutoRepeatRate(m_display, XkbUseCoreKbd, delay, interval);
}

unsigned XClient::moveKey(unsigned from, unsigned long replacement, std::function<void()> *back)
{
    int min = 0;
    int max = 0;
    XDisplayKeycodes(m_display, &min, &max);
    unsigned spare = unsigned(max);
    while (XkbKeycodeToKeysym(m_display, KeyCode(spare), 0, 0) != NoSymbol)
        --spare;
    int per = 0;
    KeySym *syms = XGetKeyboardMapping(m_display, KeyCode(from), 1, &per);
    QList<KeySym> old(syms, syms + per);
    XFree(syms);
    XChangeKeyboardMapping(m_display, int(spare), per, old.data(), 1);
    XChangeKeyboardMapping(m_display, int(from), 1, &replacement, 1);
    XSync(m_display, False);
    *back = [this, from, spare, old]() mutable {
        QList<KeySym> none(old.size(), NoSymbol);
        XChangeKeyboardMapping(m_display, int(spare), int(old.size()), none.data(), 1);
        XChangeKeyboardMapping(m_display, int(from), int(old.size()), old.data(), 1);
        XSync(m_display, False);
    };
    return spare;
}

bool XClient::grab(unsigned key, unsigned modifiers)
{
    XSync(m_display, False);
    s_grabFailed = false;
    XErrorHandler previous = XSetErrorHandler([](Display *, XErrorEvent *) {
        s_grabFailed = true;
        return 0;
    });
    XGrabKey(m_display, int(key), modifiers, DefaultRootWindow(m_display), True, GrabModeAsync,
             GrabModeAsync);
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return !s_grabFailed;
}

void XClient::ungrab(unsigned key, unsigned modifiers)
{
    XUngrabKey(m_display, int(key), modifiers, DefaultRootWindow(m_display));
    XSync(m_display, False);
}
