#pragma once

#include "hotkeys/focustracker.h"

#include <QObject>
#include <QTimer>

class QSocketNotifier;
struct xcb_connection_t;

// "Pick a window…" on X11, as xprop does it: the pointer is grabbed with a cross, and the window
// under the next click names its program by WM_CLASS. A click of another button, or none in
// time, picks nothing. On a connection of its own, so that Qt's own sees none of it.
class X11WindowPicker final : public QObject
{
    Q_OBJECT

public:
    // Deletes itself once `done` has run.
    static void pick(FocusTracker::Picked done);

private:
    explicit X11WindowPicker(FocusTracker::Picked done);
    ~X11WindowPicker() override;

    bool grab();
    void read();
    void finish(const QStringList &names);

    FocusTracker::Picked m_done;
    xcb_connection_t *m_connection = nullptr;
    QSocketNotifier *m_events = nullptr;
    QTimer m_giveUp;
};
