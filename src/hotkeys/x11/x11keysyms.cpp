#include "x11keysyms.h"

#include <Qt>

#include <algorithm>

#include <X11/keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

uint32_t x11KeysymForQtKey(int key)
{
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return XK_F1 + (key - Qt::Key_F1);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return XK_a + (key - Qt::Key_A); // the unshifted keysym of a letter key
    // Qt's codes for printable Latin-1 characters are their keysyms.
    if ((key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) ||
        (key >= Qt::Key_nobreakspace && key <= Qt::Key_ydiaeresis))
        return static_cast<uint32_t>(key);

    struct Pair
    {
        int qt;
        uint32_t x;
    };
    static const Pair others[] = {
        {Qt::Key_Escape, XK_Escape},
        {Qt::Key_Tab, XK_Tab},
        {Qt::Key_Backspace, XK_BackSpace},
        {Qt::Key_Return, XK_Return},
        {Qt::Key_Enter, XK_KP_Enter},
        {Qt::Key_Insert, XK_Insert},
        {Qt::Key_Delete, XK_Delete},
        {Qt::Key_Pause, XK_Pause},
        {Qt::Key_Print, XK_Print},
        {Qt::Key_Home, XK_Home},
        {Qt::Key_End, XK_End},
        {Qt::Key_Left, XK_Left},
        {Qt::Key_Up, XK_Up},
        {Qt::Key_Right, XK_Right},
        {Qt::Key_Down, XK_Down},
        {Qt::Key_PageUp, XK_Prior},
        {Qt::Key_PageDown, XK_Next},
        {Qt::Key_Menu, XK_Menu},
        {Qt::Key_ScrollLock, XK_Scroll_Lock},
    };
    for (const Pair &pair : others) {
        if (pair.qt == key)
            return pair.x;
    }
    return 0;
}

QList<uint8_t> x11SpareKeycodes(Display *display)
{
    int min = 0;
    int max = 0;
    XDisplayKeycodes(display, &min, &max);
    int perKeycode = 0;
    KeySym *map =
        XGetKeyboardMapping(display, static_cast<KeyCode>(min), max - min + 1, &perKeycode);
    if (!map)
        return {};
    XModifierKeymap *modifiers = XGetModifierMapping(display);
    QList<uint8_t> spares;
    for (int keycode = max; keycode >= min; --keycode) {
        bool empty = true;
        for (int i = 0; i < perKeycode && empty; ++i)
            empty = map[(keycode - min) * perKeycode + i] == NoSymbol;
        for (int i = 0; modifiers && i < 8 * modifiers->max_keypermod && empty; ++i)
            empty = modifiers->modifiermap[i] != keycode;
        if (empty)
            spares.append(static_cast<uint8_t>(keycode));
    }
    if (modifiers)
        XFreeModifiermap(modifiers);
    XFree(map);
    return spares;
}

void x11LendKeysyms(Display *display, const QList<X11KeyLending> &lendings)
{
    if (lendings.isEmpty())
        return;
    XkbDescPtr xkb = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb)
        return;
    XkbMapChangesRec changes{};
    int first = 0;
    int last = -1;
    for (const X11KeyLending &lending : lendings) {
        const int keycode = lending.keycode;
        if (keycode < xkb->min_key_code || keycode > xkb->max_key_code)
            continue;
        if (lending.keysym == 0 &&
            (XkbKeyNumSyms(xkb, keycode) == 0 || XkbKeySym(xkb, keycode, 0) != lending.holding))
            continue;
        // Two levels chosen by Shift alone, whatever the symbols: the core request would make a
        // letter's key alphabetic and so subject to Caps Lock.
        int types[XkbNumKbdGroups] = {XkbTwoLevelIndex};
        if (XkbChangeTypesOfKey(xkb, keycode, lending.keysym != 0 ? 1 : 0, XkbGroup1Mask, types,
                                nullptr) != Success)
            continue;
        if (lending.keysym != 0) {
            KeySym *syms = XkbKeySymsPtr(xkb, keycode);
            syms[0] = lending.keysym;
            syms[1] = lending.shifted != 0 ? lending.shifted : lending.keysym;
        }
        first = last < 0 ? keycode : std::min(first, keycode);
        last = std::max(last, keycode);
    }
    if (last >= 0) {
        // The keys between are sent as they are.
        changes.changed = XkbKeySymsMask;
        changes.first_key_sym = static_cast<KeyCode>(first);
        changes.num_key_syms = static_cast<unsigned char>(last - first + 1);
        XkbChangeMap(display, xkb, &changes);
        XSync(display, False);
    }
    XkbFreeKeyboard(xkb, XkbAllComponentsMask, True);
}
