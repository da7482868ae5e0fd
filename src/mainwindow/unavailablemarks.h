#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

class QTreeWidget;
class QTreeWidgetItem;

// Shows which hot keys of the live master macro cannot work, in the tree rows of their notes,
// without a message box (the tray's tool tip gives their number). Only the rows of the master
// macro marked last and of the live one are touched.
class UnavailableMarks final
{
public:
    explicit UnavailableMarks(QTreeWidget *tree);

    // Marks the notes under `live` (a top-level row; null for none) whose code, in `codes` (note
    // name -> stored code), is a key of `unavailable` (code -> reason): a warning icon in column
    // 1 and the reason in its tool tip; the other notes with a hot key get `caveat` so, when
    // there is one. Takes the marks off the rows marked before. Returns the number of notes
    // marked unavailable.
    int mark(QTreeWidgetItem *live, const QHash<QString, int> &codes,
             const QHash<int, QString> &unavailable, const QString &caveat = QString());

private:
    int markNotes(QTreeWidgetItem *master, const QHash<QString, int> &codes,
                  const QHash<int, QString> &unavailable, const QString &caveat);

    QTreeWidget *m_tree;
    QIcon m_warning;
    QTreeWidgetItem *m_marked = nullptr; // compared, never used, once it has left the tree
};
