#include "x11keysyms.h"

#include <Qt>

#include <X11/keysym.h>

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
