#include "unavailablemarks.h"

#include <QStyle>
#include <QTreeWidget>

UnavailableMarks::UnavailableMarks(QTreeWidget *tree) : m_tree(tree) {}

int UnavailableMarks::mark(QTreeWidgetItem *live, const QHash<QString, int> &codes,
                           const QHash<int, QString> &unavailable, const QString &caveat)
{
    if (m_marked && m_marked != live && m_tree->indexOfTopLevelItem(m_marked) >= 0)
        markNotes(m_marked, {}, {}, QString());
    m_marked = live;
    return live ? markNotes(live, codes, unavailable, caveat) : 0;
}

int UnavailableMarks::markNotes(QTreeWidgetItem *master, const QHash<QString, int> &codes,
                                const QHash<int, QString> &unavailable, const QString &caveat)
{
    // Looked up in the icon theme only when first needed: a few milliseconds at start otherwise.
    if (m_warning.isNull() && (!unavailable.isEmpty() || !caveat.isEmpty()))
        m_warning = m_tree->style()->standardIcon(QStyle::SP_MessageBoxWarning);
    int marked = 0;
    for (int i = 0; i < master->childCount(); ++i) {
        QTreeWidgetItem *note = master->child(i);
        const int code = codes.value(note->text(0));
        const QString unavailableWhy = code != 0 ? unavailable.value(code) : QString();
        const QString reason = code != 0 && unavailableWhy.isEmpty() ? caveat : unavailableWhy;
        // Rows without a mark, before and after, are left alone.
        if (reason.isEmpty() && note->icon(1).isNull())
            continue;
        const QString shortcut = note->text(1);
        note->setIcon(1, reason.isEmpty() ? QIcon() : m_warning);
        note->setToolTip(1, reason.isEmpty() ? shortcut : shortcut + QLatin1Char('\n') + reason);
        marked += unavailableWhy.isEmpty() ? 0 : 1;
    }
    return marked;
}
