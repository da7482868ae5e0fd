#pragma once

#include <QList>

struct _XDisplay;

// A second X client for the end-to-end tests: presses keys through XTest, holds grabs of its
// own and changes the keyboard mapping, all on its own connection.
class XClient final
{
public:
    XClient();
    ~XClient();
    XClient(const XClient &) = delete;
    XClient &operator=(const XClient &) = delete;

    bool isOpen() const { return m_display != nullptr; }
    unsigned keycode(unsigned long keysym) const;
    // Holds the keys down in order and flushes; release() lets go in reverse order.
    void hold(const QList<unsigned long> &keysyms);
    void release(const QList<unsigned long> &keysyms);
    // Presses the modifiers, taps the key, releases the modifiers.
    void press(const QList<unsigned long> &modifiers, unsigned keycode);
    // Sets the auto-repeat delay and interval; returns the previous ones.
    QList<unsigned> setAutoRepeat(unsigned delay, unsigned interval);
    // The modifier mask the server gives a key (Num_Lock ...), and the locked modifiers now.
    unsigned modifierMask(unsigned long keysym) const;
    unsigned state() const;
    // A passive grab on the root window; false when another client holds it.
    bool grab(unsigned keycode, unsigned modifiers);
    void ungrab(unsigned keycode, unsigned modifiers);
    // A keycode without any keysym, or 0; the keysyms of a key; replacing them.
    unsigned spareKeycode() const;
    QList<unsigned long> keysyms(unsigned keycode) const;
    void setKeysyms(unsigned keycode, const QList<unsigned long> &keysyms);

private:
    _XDisplay *m_display = nullptr;
};
