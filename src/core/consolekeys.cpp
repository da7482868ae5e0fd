#include "consolekeys.h"

#include <QCoreApplication>

namespace ConsoleKeys {

bool isConsoleSwitchKey(int code)
{
    const int modifiers = code & Qt::KeyboardModifierMask;
    const int key = code & ~Qt::KeyboardModifierMask;
    const int ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    return (modifiers & ctrlAlt) == ctrlAlt && (modifiers & Qt::MetaModifier) == 0 &&
           key >= Qt::Key_F1 && key <= Qt::Key_F12;
}

QString reason(int code)
{
    if (!isConsoleSwitchKey(code))
        return QString();
    return QCoreApplication::translate("ConsoleKeys",
                                       "The X server keeps Ctrl+Alt+F1 to F12 for console "
                                       "switching: %1 never reaches any program, so it cannot "
                                       "be a hot key.")
        .arg(QStringLiteral("Ctrl+Alt+%1F%2")
                 .arg((code & Qt::ShiftModifier) ? QStringLiteral("Shift+") : QString())
                 .arg((code & ~Qt::KeyboardModifierMask) - Qt::Key_F1 + 1));
}

} // namespace ConsoleKeys
