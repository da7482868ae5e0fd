#pragma once

#include "hotkeys/x11/x11keysyms.h"

#include <QByteArray>
#include <QHash>
#include <QString>

struct _XDisplay;

// Every lending of spare keycodes goes through here, so that it is noted while it lasts: in a
// file of this process in the user's private folder, held locked as long as the process lives.
// A process that is killed while keys are lent leaves its file unlocked; the next start on the
// same display gives those keys back (the mapping as it was, and the keys free to lend again)
// and removes the file.
class X11LentKeys final
{
public:
    // Gives back what ended processes left lent on `displayName`.
    explicit X11LentKeys(const QByteArray &displayName);
    ~X11LentKeys();
    X11LentKeys(const X11LentKeys &) = delete;
    X11LentKeys &operator=(const X11LentKeys &) = delete;

    // x11LendKeysyms, noted before a key is lent and forgotten once it is given back.
    void lend(_XDisplay *display, const QList<X11KeyLending> &lendings);

    // How many keys of ended processes the constructor gave back.
    int givenBack() const { return m_givenBack; }

private:
    bool note();

    QByteArray m_display;
    QString m_file;
    int m_fd = -1;
    QHash<uint8_t, unsigned long> m_lent; // keycode -> the symbol it holds unshifted
    int m_givenBack = 0;
};
