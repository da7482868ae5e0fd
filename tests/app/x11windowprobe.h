#pragma once

#include <QString>
#include <QtGlobal>

// Looks at another process's top-level windows from the outside, through its own connection
// to the X server, the way a window manager would see them. There is no window manager on the
// test server, so "maximized" is what the client asked for in _NET_WM_STATE.
class X11WindowProbe final
{
public:
    struct State
    {
        quint32 window = 0; // 0: the process has no window with the title
        bool viewable = false;
        bool maximized = false; // both _NET_WM_STATE_MAXIMIZED_VERT and _HORZ requested
    };

    X11WindowProbe();
    ~X11WindowProbe();
    X11WindowProbe(const X11WindowProbe &) = delete;
    X11WindowProbe &operator=(const X11WindowProbe &) = delete;

    bool isValid() const;

    // The window of process pid titled title (a top-level child of the root window).
    State windowOf(qint64 pid, const QString &title) const;

    // Asks the window to close, as a title-bar close button would (WM_DELETE_WINDOW).
    void requestClose(quint32 window) const;

private:
    struct Private;
    Private *d;
};
