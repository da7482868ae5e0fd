#include "checktreewidget.h"

#include <QHeaderView>
#include <QStyleOptionViewItem>

CheckTreeWidget::CheckTreeWidget(QWidget *parent) : QTreeWidget(parent) {}

void CheckTreeWidgetItem::setData(int column, int role, const QVariant &value)
{
    if (role != Qt::CheckStateRole) {
        QTreeWidgetItem::setData(column, role, value);
        return;
    }
    // Compare as integers: 0 and Qt::Unchecked are the same state whatever the variant type.
    const QVariant before = data(column, Qt::CheckStateRole);
    QTreeWidgetItem::setData(column, role, value);
    const QVariant after = data(column, Qt::CheckStateRole);
    if (before.isValid() == after.isValid() && before.toInt() == after.toInt())
        return;
    if (auto *tree = qobject_cast<CheckTreeWidget *>(treeWidget()))
        tree->reportCheckStateChanged(this);
}

void CheckTreeWidget::redraw()
{
    // Hiding throws the keyboard focus out of the tree; the user ticking with Space stays in it.
    const bool focused = hasFocus();
    setVisible(false);
    setVisible(true);
    if (focused)
        setFocus(Qt::OtherFocusReason);
}

int CheckTreeWidget::cellWidth(const QModelIndex &cell, int level) const
{
    ensurePolished();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int width = itemDelegate()->sizeHint(option, cell).width();
    const int treeColumn = treePosition() < 0 ? header()->logicalIndex(0) : treePosition();
    if (cell.column() != treeColumn)
        return width;
    return width + (level + (rootIsDecorated() ? 1 : 0)) * indentation();
}

void CheckTreeWidget::fitColumn(int column, int contents)
{
    const int heading = header()->isHidden() ? 0 : header()->sectionSizeHint(column);
    header()->resizeSection(column, qMax(contents, heading));
}
