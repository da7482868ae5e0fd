#pragma once

#include <QString>

// The hot key of "Pick a note" is held to the keys a note's hot key can hold (F1–F12, 0–9, A–Z
// with Ctrl, Alt and Shift), so that it grabs nothing the notes could not; and a letter or digit
// needs Ctrl or Alt, or it would be taken from the typing in every program.
namespace PickKey {

// Why `code` (a Qt key OR-ed with modifier flags) cannot open "Pick a note"; "" when it can.
QString refusal(int code);

} // namespace PickKey
