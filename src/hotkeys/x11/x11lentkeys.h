#pragma once

#include "hotkeys/x11/x11keysyms.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTimer>

struct _XDisplay;

// The one owner of the spare keycodes lent key symbols, for the paste key and for typing alike:
// every lending goes through here, and everything lent goes back together a while after its
// last use. While lent, it is noted in a file of this process in the user's private folder, held
// locked as long as the process lives. A process that is killed while keys are lent leaves its
// file unlocked; the next start on the same display gives those keys back (the mapping as it
// was, and the keys free to lend again) and removes the file.
class X11LentKeys final
{
public:
    // Gives back what ended processes left lent on `displayName`.
    explicit X11LentKeys(const QByteArray &displayName);
    ~X11LentKeys();
    X11LentKeys(const X11LentKeys &) = delete;
    X11LentKeys &operator=(const X11LentKeys &) = delete;

    // Each program re-reads the key mapping when it handles a change, which may be well after
    // the keys were sent, and must still find the symbols there.
    static constexpr int GiveBackMs = 1500;

    // x11LendKeysyms, noted before a key is lent and forgotten once it is given back.
    void lend(_XDisplay *display, const QList<X11KeyLending> &lendings);
    // The keycode lent `keysym` (as its first symbol), 0 when none is.
    uint8_t keycodeOf(unsigned long keysym) const;
    // What is lent stays until GiveBackMs from now (a later call moves that on).
    void keepForNow();
    // Gives back everything lent, now: the mapping as before wherever it still holds what was
    // lent (a layout switch meanwhile put its own in place).
    void giveBackNow();

    // How many keys of ended processes the constructor gave back.
    int givenBack() const { return m_givenBack; }

private:
    bool note();

    QByteArray m_display;
    QString m_file;
    int m_fd = -1;
    QHash<uint8_t, unsigned long> m_lent; // keycode -> the symbol it holds unshifted
    QTimer m_giveBack;
    int m_givenBack = 0;
};
