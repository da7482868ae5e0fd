#pragma once

#include <QList>
#include <QString>

// The key strokes that make a program paste, as the preferences name them: a Qt key code OR-ed
// with Qt's modifier flags, stored as their text.
namespace PasteStroke {

constexpr int CtrlV = 0x04000000 | 0x56; // Qt::CTRL | Qt::Key_V
constexpr int CtrlShiftV = 0x04000000 | 0x02000000 | 0x56;
constexpr int ShiftInsert = 0x02000000 | 0x01000006; // Qt::SHIFT | Qt::Key_Insert
// Not a stroke: the text is typed as key events instead of pasted (stored as "Type").
constexpr int Type = -1;

// The strokes a user may choose, in the order offered.
QList<int> all();
// "Ctrl+V", "Ctrl+Shift+V", "Shift+Insert", "Type"; and back (0 for anything else).
QString text(int stroke);
int fromText(const QString &text);

} // namespace PasteStroke
