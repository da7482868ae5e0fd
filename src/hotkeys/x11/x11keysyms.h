#pragma once

#include <cstdint>
#include <QList>

struct _XDisplay;

// The X keysym of the key part of a Qt key code (the unshifted one for letters); 0 for keys we
// cannot grab or press.
uint32_t x11KeysymForQtKey(int key);

// The keycodes that no key symbol and no modifier uses, highest first: a key symbol the layout
// lacks is lent one of them for a while.
QList<uint8_t> x11SpareKeycodes(_XDisplay *display);
// Lends keycodes symbols, several in one change of the key mapping: every program on the display
// reads the whole mapping again after each change, so lending key by key at typing speed loads
// them all. Each key gets `keysym` and, with Shift, `shifted` (`keysym` again where 0); a key with
// `keysym` 0 is emptied, but only while it still holds `holding` (a layout switch meanwhile may
// have put a symbol of its own there).
struct X11KeyLending
{
    uint8_t keycode = 0;
    unsigned long keysym = 0;
    unsigned long shifted = 0;
    unsigned long holding = 0;
};
void x11LendKeysyms(_XDisplay *display, const QList<X11KeyLending> &lendings);
