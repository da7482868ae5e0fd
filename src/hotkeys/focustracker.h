#pragma once

#include <functional>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Which program has the keyboard focus, and giving it back. One role of the platform (Platform);
// the default knows nothing of it.
class FocusTracker
{
public:
    // How long a pick of a window waits for the click.
    static constexpr int PickWindowMs = 30000;

    virtual ~FocusTracker() = default;

    // The instance and class names of the focused program's window; empty where unknown.
    virtual QStringList focusedWindowClass();
    // True where focusedWindowClass() names the program (else every paste is Ctrl+V).
    virtual bool namesFocusedProgram() const;
    // The window that has the keyboard focus now (0 where unknown), and giving it the focus
    // again after a window of ours took it (a question asked before a paste).
    virtual quintptr focusedWindow();
    virtual void giveFocusBack(quintptr window);
    // Learns the instance and class names of the next window the user clicks (where clicks
    // cannot be watched, of the next program that gets the focus); `done` runs once, with an
    // empty list when none could be learnt (at once where programs cannot be named at all).
    using Picked = std::function<void(const QStringList &names)>;
    virtual void pickWindowClass(Picked done);
};
