#include "consolekeys.h"

#include <Qt>

namespace ConsoleKeys {

bool isConsoleSwitchKey(int code)
{
    const int modifiers = code & Qt::KeyboardModifierMask;
    const int key = code & ~Qt::KeyboardModifierMask;
    const int ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    return (modifiers & ctrlAlt) == ctrlAlt && (modifiers & Qt::MetaModifier) == 0 &&
           key >= Qt::Key_F1 && key <= Qt::Key_F12;
}

} // namespace ConsoleKeys
