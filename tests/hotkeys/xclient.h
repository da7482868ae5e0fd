#pragma once

#include <functional>
#include <QList>

struct _XDisplay;

// A second X client for the end-to-end tests: presses keys through XTest, changes the keyboard
// mapping, and owns a window that can take the input focus and count the paste key strokes it
// receives. Keys are X keysyms, keycodes the server's.
class XClient final
{
public:
    XClient();
    ~XClient();

    bool isOpen() const { return m_display != nullptr; }
    unsigned keycode(unsigned long keysym) const;
    // Presses (or, in reverse order, releases) the keys and flushes.
    void keys(QList<unsigned long> keysyms, bool down);
    // Presses the modifiers, taps the key, releases the modifiers.
    void press(const QList<unsigned long> &modifiers, unsigned keycode);
    void repeat(unsigned delay, unsigned interval);
    // Puts the keysyms of `from` on a keycode that has none, and `replacement` on `from`, as a
    // layout switch does; returns the new keycode and sets a way back.
    unsigned moveKey(unsigned from, unsigned long replacement, std::function<void()> *back);
    void takeFocus();
    // A passive grab on the root window; false when another client holds it.
    bool grab(unsigned keycode, unsigned modifiers);
    void ungrab(unsigned keycode, unsigned modifiers);
    // Ctrl with the key that gives "v" now, received by the focus window so far.
    int pastes();

private:
    _XDisplay *m_display;
    unsigned long m_window = 0;
    int m_pastes = 0;
};
