#pragma once

// The keys the user is holding, as the platform's input server sees them.
class KeyboardState final
{
public:
    // True when no modifier key (Shift, Ctrl, Alt, Super/Meta, AltGr, ...) and no key of the
    // combination `code` (a Qt key OR-ed with modifier flags; 0 for none) is down. True as well
    // where the platform cannot tell, so a paste is never held back for nothing.
    static bool isFree(int code);
};
