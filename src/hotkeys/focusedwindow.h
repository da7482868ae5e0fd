#pragma once

#include <QStringList>

// The program that will receive a synthesised key stroke.
class FocusedWindow final
{
public:
    // The WM_CLASS of the top-level window that has the keyboard focus: its instance and class
    // names, in that order; empty where there is none or the platform cannot tell.
    static QStringList windowClass();
};
