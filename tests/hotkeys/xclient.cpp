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

void XClient::press(const QList<unsigned long> &modifiers, unsigned long keysym)
{
    pressKeycode(modifiers, keycode(keysym));
}

void XClient::pressKeycode(const QList<unsigned long> &modifiers, unsigned code)
{
    for (unsigned long modifier : modifiers)
        XTestFakeKeyEvent(m_display, keycode(modifier), True, CurrentTime);
    XTestFakeKeyEvent(m_display, code, True, CurrentTime);
    XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it)
        XTestFakeKeyEvent(m_display, keycode(*it), False, CurrentTime);
    XSync(m_display, False);
}

void XClient::tap(unsigned long keysym)
{
    pressKeycode({}, keycode(keysym));
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

void XClient::setAutoRepeat(unsigned delay, unsigned interval)
{
    XAutoRepeatOn(m_display);
    XkbSetAutoRepeatRate(m_display, XkbUseCoreKbd, delay, interval);
    XSync(m_display, False);
}

void XClient::autoRepeat(unsigned *delay, unsigned *interval) const
{
    XkbGetAutoRepeatRate(m_display, XkbUseCoreKbd, delay, interval);
}

unsigned XClient::modifierMask(unsigned long keysym) const
{
    const KeyCode code = XKeysymToKeycode(m_display, keysym);
    XModifierKeymap *map = XGetModifierMapping(m_display);
    unsigned mask = 0;
    for (int row = 0; row < 8 && mask == 0; ++row) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            if (code != 0 && map->modifiermap[row * map->max_keypermod + i] == code)
                mask = 1u << row;
        }
    }
    XFreeModifiermap(map);
    return mask;
}

unsigned XClient::state() const
{
    XkbStateRec state;
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    return state.mods; // effective: pressed, latched and locked
}

bool XClient::grab(unsigned code, unsigned modifiers)
{
    XSync(m_display, False);
    s_failed = false;
    XErrorHandler previous = XSetErrorHandler(recordError);
    XGrabKey(m_display, static_cast<int>(code), modifiers, DefaultRootWindow(m_display), True,
             GrabModeAsync, GrabModeAsync);
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return !s_failed;
}

void XClient::ungrab(unsigned code, unsigned modifiers)
{
    XUngrabKey(m_display, static_cast<int>(code), modifiers, DefaultRootWindow(m_display));
    XSync(m_display, False);
}

unsigned XClient::spareKeycode() const
{
    int min = 0;
    int max = 0;
    XDisplayKeycodes(m_display, &min, &max);
    for (int code = max; code >= min; --code) {
        if (keysyms(static_cast<unsigned>(code)).isEmpty())
            return static_cast<unsigned>(code);
    }
    return 0;
}

QList<unsigned long> XClient::keysyms(unsigned code) const
{
    int perKeycode = 0;
    KeySym *syms = XGetKeyboardMapping(m_display, static_cast<KeyCode>(code), 1, &perKeycode);
    QList<unsigned long> result;
    for (int i = 0; syms && i < perKeycode; ++i) {
        if (syms[i] != NoSymbol)
            result.append(syms[i]);
    }
    if (syms)
        XFree(syms);
    return result;
}

void XClient::setKeysyms(unsigned code, const QList<unsigned long> &keysyms)
{
    QList<KeySym> syms(keysyms.cbegin(), keysyms.cend());
    if (syms.isEmpty())
        syms.append(NoSymbol);
    XChangeKeyboardMapping(m_display, static_cast<int>(code), static_cast<int>(syms.size()),
                           syms.data(), 1);
    XSync(m_display, False);
}

bool XClient::moveModifierKey(unsigned long keysym, int toRow)
{
    const KeyCode code = XKeysymToKeycode(m_display, keysym);
    if (code == 0)
        return false;
    XModifierKeymap *map = XGetModifierMapping(m_display);
    for (int row = 0; row < 8; ++row)
        map = XDeleteModifiermapEntry(map, code, row);
    map = XInsertModifiermapEntry(map, code, toRow);
    const bool done = XSetModifierMapping(m_display, map) == MappingSuccess;
    XFreeModifiermap(map);
    XSync(m_display, False);
    return done;
}
