#pragma once

#include <QString>

// Starting at log-in, the XDG autostart way: the session starts every
// $XDG_CONFIG_HOME/autostart/*.desktop entry (~/.config when the variable is unset or not an
// absolute path). Ours starts the program in the tray; the file itself is the setting.
namespace Autostart {

QString fileName();
bool isEnabled();
// Writes or removes the entry; false when that could not be done (the state is then as before).
bool setEnabled(bool enabled);

} // namespace Autostart
