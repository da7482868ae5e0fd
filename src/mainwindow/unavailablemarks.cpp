#include "unavailablemarks.h"

#include <QIcon>
#include <QTreeWidget>

int UnavailableMarks::markTree(QTreeWidget *tree, const QString &live,
                               const QHash<QString, int> &codes,
                               const QHash<int, QString> &unavailable, const QIcon &warning)
{
    int marked = 0;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *master = tree->topLevelItem(i);
        const bool isLive = !live.isEmpty() && master->text(0) == live;
        for (int j = 0; j < master->childCount(); ++j) {
            QTreeWidgetItem *note = master->child(j);
            const int code = isLive ? codes.value(note->text(0)) : 0;
            const QString reason = code != 0 ? unavailable.value(code) : QString();
            const QString shortcut = note->text(1);
            note->setIcon(1, reason.isEmpty() ? QIcon() : warning);
            note->setToolTip(1,
                             reason.isEmpty() ? shortcut : shortcut + QLatin1Char('\n') + reason);
            marked += reason.isEmpty() ? 0 : 1;
        }
    }
    return marked;
}
