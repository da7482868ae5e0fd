#pragma once

#include <QByteArray>
#include <QString>

class X11LentKeys;

// The paste key stroke on X11, through the XTest extension, on a connection of its own: Xlib's
// keymap cache on Qt's display never hears of a layout switch (Qt reads the events), so its
// keycodes would go stale. A layout without the stroke's key gets it on a spare keycode for a
// moment (X11LentKeys).
class X11KeySender final
{
public:
    // Lends its key through `lent`, which must outlive it.
    X11KeySender(const QByteArray &displayName, X11LentKeys &lent);
    ~X11KeySender();
    X11KeySender(const X11KeySender &) = delete;
    X11KeySender &operator=(const X11KeySender &) = delete;

    // Sends `stroke` (a Qt key OR-ed with Ctrl and/or Shift); "" when it went out, else why not.
    QString send(int stroke);
    // Presses and lets go of a keycode that gives no symbol, which programs take no action on.
    void tapKeyWithoutSymbol();

private:
    QByteArray m_displayName;
    X11LentKeys &m_lent;
};
