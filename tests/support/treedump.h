#pragma once

#include <QStringList>
#include <QTreeWidget>

// Every item of a macro tree as "master" or "master/note|shown hot key", in tree order.
inline QStringList treeDump(const QTreeWidget *tree)
{
    QStringList lines;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *master = tree->topLevelItem(i);
        lines << master->text(0);
        for (int j = 0; j < master->childCount(); ++j)
            lines << master->text(0) + QLatin1Char('/') + master->child(j)->text(0) +
                         QLatin1Char('|') + master->child(j)->text(1);
    }
    return lines;
}
