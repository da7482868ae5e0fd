#pragma once

#include <QList>
#include <QSet>

#include <xcb/xcb.h>

// The server's keyboard and modifier mappings as one client read them: which keycode gives a
// key symbol, which keycodes are modifiers.
class X11Keymap final
{
public:
    // Reads both mappings now (two round trips).
    void load(xcb_connection_t *connection);

    // The keycode that gives `keysym`, a key that gives it unshifted first; 0 when none does.
    xcb_keycode_t keycodeFor(xcb_keysym_t keysym) const;
    // Every keycode that gives `keysym` in some group or level.
    QSet<xcb_keycode_t> keycodesOf(xcb_keysym_t keysym) const;
    // Every keycode that carries one of the eight modifiers: Shift, Lock, Control, Mod1 to Mod5
    // (Alt, Meta, Super, Hyper and AltGr are among the last five on any layout).
    QSet<xcb_keycode_t> modifierKeycodes() const;
    // The modifier bit that a key giving `keysym` carries; `fallback` when none does.
    uint16_t modifierMaskFor(xcb_keysym_t keysym, uint16_t fallback) const;

private:
    xcb_keysym_t keysymAt(int row, int column) const
    {
        return m_keysyms.value(row * m_keysymsPerKeycode + column);
    }

    xcb_keycode_t m_minKeycode = 0;
    int m_keysymsPerKeycode = 0;
    QList<xcb_keysym_t> m_keysyms;           // row by keycode
    QList<xcb_keycode_t> m_modifierKeycodes; // eight rows, Shift to Mod5
    int m_keycodesPerModifier = 0;
};
