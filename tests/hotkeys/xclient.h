#pragma once

#include <QList>

struct _XDisplay;

// A second X client for the hot-key tests: presses keys through XTest, holds grabs of its own,
// and changes the keyboard mapping, all on its own connection.
class XClient final
{
public:
    XClient();
    ~XClient();
    XClient(const XClient &) = delete;
    XClient &operator=(const XClient &) = delete;

    bool isOpen() const { return m_display != nullptr; }

    unsigned keycode(unsigned long keysym) const;
    // Presses the modifiers, taps the key, releases the modifiers, and flushes.
    void press(const QList<unsigned long> &modifiers, unsigned long keysym);
    void pressKeycode(const QList<unsigned long> &modifiers, unsigned keycode);
    void tap(unsigned long keysym);
    // Presses the keys in order and keeps them down, as a user holding them, and flushes;
    // release() lets go of them in reverse order.
    void hold(const QList<unsigned long> &keysyms);
    void release(const QList<unsigned long> &keysyms);
    // Turns the server's auto-repeat on: the first repeat after `delay` ms, then one every
    // `interval` ms.
    void setAutoRepeat(unsigned delay, unsigned interval);
    void autoRepeat(unsigned *delay, unsigned *interval) const;
    // The modifier mask the server gives a key (Num_Lock, Alt_L ...), 0 when none.
    unsigned modifierMask(unsigned long keysym) const;
    // The current modifier and lock state of the keyboard.
    unsigned state() const;

    // A passive grab on the root window, checked with XSync and an error handler.
    bool grab(unsigned keycode, unsigned modifiers);
    void ungrab(unsigned keycode, unsigned modifiers);

    // A keycode without any keysym, or 0.
    unsigned spareKeycode() const;
    void setKeysyms(unsigned keycode, const QList<unsigned long> &keysyms);
    QList<unsigned long> keysyms(unsigned keycode) const;
    // Moves a key to another of the eight modifier rows (0 Shift ... 7 Mod5).
    bool moveModifierKey(unsigned long keysym, int toRow);

private:
    _XDisplay *m_display = nullptr;
};
