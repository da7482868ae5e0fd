#pragma once

#include <QHash>
#include <QString>

class QIcon;
class QTreeWidget;

// Shows which hot keys of the live master macro cannot work, in the tree rows of their notes,
// without a message box (the tray's tool tip gives their number: TrayIcon::toolTip).
class UnavailableMarks final
{
public:
    // Marks the notes of the master macro `live` (none when empty) whose code, in `codes` (note
    // name -> stored code), is a key of `unavailable` (code -> reason): `warning` in column 1
    // and the reason in its tool tip. Takes the marks off every other note. Returns the number
    // of marked notes.
    static int markTree(QTreeWidget *tree, const QString &live, const QHash<QString, int> &codes,
                        const QHash<int, QString> &unavailable, const QIcon &warning);
};
