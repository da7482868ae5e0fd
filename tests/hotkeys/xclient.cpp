#include "xclient.h"

#include <X11/extensions/XTest.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {

bool s_failed = false;

int recordError(Display *, XErrorEvent *)
{
    s_failed = true;
    return 0;
}

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

void XClient::hold(const QList<unsigned long> &keysyms)
{
    for (unsigned long keysym : keysyms)
        XTestFakeKeyEvent(m_display, keycode(keysym), True, CurrentTime);
    XSync(m_display, False);
}

void XClient::release(const QList<unsigned long> &keysyms)
{
    for (auto it = keysyms.crbegin(); it != keysyms.crend(); ++it)
        XTestFakeKeyEvent(m_display, keycode(*it), False, CurrentTime);
    XSync(m_display, False);
}

void XClient::press(const QList<unsigned long> &modifiers, unsigned key)
{
    hold(modifiers);
    XTestFakeKeyEvent(m_display, key, True, CurrentTime);
    XTestFakeKeyEvent(m_display, key, False, CurrentTime);
    release(modifiers);
}

QList<unsigned> XClient::setAutoRepeat(unsigned delay, unsigned interval)
{
    QList<unsigned> old{0, 0};
    XkbGetAutoRepeatRate(m_display, XkbUseCoreKbd, &old[0], &old[1]);
    XAutoRepeatOn(m_display);
    XkbSetAutoRepeatRate(m_display, XkbUseCoreKbd, delay, interval);
    XSync(m_display, False);
    return old;
}

unsigned XClient::modifierMask(unsigned long keysym) const
{
    const KeyCode code = XKeysymToKeycode(m_display, keysym);
    XModifierKeymap *map = XGetModifierMapping(m_display);
    unsigned mask = 0;
    for (int i = 0; code != 0 && i < 8 * map->max_keypermod; ++i) {
        if (map->modifiermap[i] == code)
            mask = 1u << (i / map->max_keypermod);
    }
    XFreeModifiermap(map);
    return mask;
}

unsigned XClient::state() const
{
    XkbStateRec state;
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    return state.locked_mods;
}

bool XClient::grab(unsigned key, unsigned modifiers)
{
    XSync(m_display, False);
    s_failed = false;
    XErrorHandler previous = XSetErrorHandler(recordError);
    XGrabKey(m_display, int(key), modifiers, DefaultRootWindow(m_display), True, GrabModeAsync,
             GrabModeAsync);
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return !s_failed;
}

void XClient::ungrab(unsigned key, unsigned modifiers)
{
    XUngrabKey(m_display, int(key), modifiers, DefaultRootWindow(m_display));
    XSync(m_display, False);
}

unsigned XClient::spareKeycode() const
{
    int min = 0;
    int max = 0;
    XDisplayKeycodes(m_display, &min, &max);
    for (int code = max; code >= min; --code) {
        if (keysyms(unsigned(code)).isEmpty())
            return unsigned(code);
    }
    return 0;
}

QList<unsigned long> XClient::keysyms(unsigned key) const
{
    int perKeycode = 0;
    KeySym *syms = XGetKeyboardMapping(m_display, KeyCode(key), 1, &perKeycode);
    QList<unsigned long> result;
    for (int i = 0; syms && i < perKeycode; ++i) {
        if (syms[i] != NoSymbol)
            result.append(syms[i]);
    }
    if (syms)
        XFree(syms);
    return result;
}

void XClient::setKeysyms(unsigned key, const QList<unsigned long> &keysyms)
{
    QList<KeySym> syms(keysyms.cbegin(), keysyms.cend());
    if (syms.isEmpty())
        syms.append(NoSymbol);
    XChangeKeyboardMapping(m_display, int(key), int(syms.size()), syms.data(), 1);
    XSync(m_display, False);
}
