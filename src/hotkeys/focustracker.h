#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Which program has the keyboard focus, and giving it back. One role of the platform (Platform);
// the default knows nothing of it.
class FocusTracker
{
public:
    virtual ~FocusTracker() = default;

    // The instance and class names of the focused program's window; empty where unknown.
    virtual QStringList focusedWindowClass();
    // True where focusedWindowClass() names the program (else every paste is Ctrl+V).
    virtual bool namesFocusedProgram() const;
    // The window that has the keyboard focus now (0 where unknown), and giving it the focus
    // again after a window of ours took it (a question asked before a paste).
    virtual quintptr focusedWindow();
    virtual void giveFocusBack(quintptr window);
};
