#include "pickkey.h"

#include "core/consolekeys.h"

#include <QCoreApplication>

namespace PickKey {

QString refusal(int code)
{
    const int modifiers = code & Qt::KeyboardModifierMask;
    const int key = code & ~Qt::KeyboardModifierMask;
    const bool function = key >= Qt::Key_F1 && key <= Qt::Key_F12;
    const bool character =
        (key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z);
    const bool held = modifiers & (Qt::ControlModifier | Qt::AltModifier);
    if ((modifiers & ~(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier)) ||
        !(function || (character && held)))
        return QCoreApplication::translate(
            "PickKey", "The key of \"Pick a note\" is one a note's hot key can hold: F1–F12 with "
                       "Ctrl, Alt or Shift if you like, or 0–9 or A–Z with Ctrl or Alt.");
    return ConsoleKeys::reason(code);
}

} // namespace PickKey
