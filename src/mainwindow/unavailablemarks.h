#pragma once

#include <QSet>
#include <QString>

class QComboBox;
class QIcon;
class QTreeWidget;

// The marks that tell the user a hot key cannot work, before they find out by pressing it:
// console-switch keys in the key list, and the notes of the live master macro whose hot key
// could not be registered (another program holds it, or the X server keeps it).
class UnavailableMarks final
{
public:
    // Why `code` can never fire, for the key list's tool tip and the refusal at save; empty
    // when it can.
    static QString consoleKeyReason(int code);

    // Marks the notes of the master macro named `live` (none when empty) whose code is a
    // console-switch key or is in `unregistered`: `warning` in column 1 and the reason in its
    // tool tip. Takes the marks off every other note. Returns the number of marked notes.
    static int markTree(QTreeWidget *tree, const QString &live, const QSet<int> &unregistered,
                        const QIcon &warning);

    // The tray's tool tip: the window title, and how many hot keys do not work if any.
    static QString trayToolTip(const QString &title, int unavailable);
};
