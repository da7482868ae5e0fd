#include "checktreewidget.h"

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
    setVisible(false);
    setVisible(true);
}
