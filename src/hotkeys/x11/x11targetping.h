#pragma once

#include <cstdint>
#include <QElapsedTimer>

struct _XDisplay;

// Asks the focused program to echo a numbered message (the window manager's "ping") and reads
// the echoes: a program handles its events in order, so an echo tells that every key sent before
// that ping has been handled, under the key mapping of its time. Programs that do not offer the
// echo (xterm, say), and those that stop giving it, are left to a wait instead.
class X11TargetPing final
{
public:
    // Finds the focused window's top level; `display` must stay open while this is used.
    explicit X11TargetPing(_XDisplay *display);

    // Whether the echoes can be relied on: offered, and none is overdue.
    bool answers();
    // Sends the next ping; returns its number.
    uint64_t send();
    // The highest number echoed so far (0 for none); reads what has arrived.
    uint64_t answered();
    // The number the next ping will carry.
    uint64_t next() const { return m_sent + 1; }

    // An echo later than this means the program is not handling its events at all.
    static constexpr int OverdueMs = 3000;

private:
    _XDisplay *m_display;
    unsigned long m_window = 0; // 0 when the focused program does not echo
    unsigned long m_protocols = 0;
    unsigned long m_ping = 0;
    uint64_t m_sent = 0;
    uint64_t m_answered = 0;
    QElapsedTimer m_waiting; // since the oldest ping not echoed was sent
};
