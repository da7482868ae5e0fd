#pragma once

#include <QString>

// Ctrl+Alt+F1 to F12, with or without Shift, switch to a text console: the X server (and the
// login manager under Wayland) acts on them before any program sees them, so a hot key on one
// of them can be registered but never fires.
namespace ConsoleKeys {

// `code` is a hot-key code: a Qt key OR-ed with Qt's modifier flags.
bool isConsoleSwitchKey(int code);
// Why such a code cannot be a hot key, for tool tips and the refusal at save; "" for others.
QString reason(int code);

} // namespace ConsoleKeys
