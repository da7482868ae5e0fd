#pragma once

#include <QTreeWidget>
#include <QTreeWidgetItem>

// A tree whose items report every real change of their check state, in any column, whether the
// user clicked the box or code set it. Setting the state it already has reports nothing.
class CheckTreeWidget final : public QTreeWidget
{
    Q_OBJECT

public:
    explicit CheckTreeWidget(QWidget *parent = nullptr);

    // Hides the tree and shows it again, so that every row is drawn anew after many of them
    // changed state at once.
    void redraw();

    // What resizeColumnToContents() makes of a cell like `cell` (of any model) at tree depth
    // `level` in column `cell.column()`: the width the tree's delegate asks for, indentation
    // included. Lets a column be fitted to rows that are not made yet.
    int cellWidth(const QModelIndex &cell, int level) const;
    // Sizes `column` as resizeColumnToContents() does when its widest cell is `contents` wide.
    void fitColumn(int column, int contents);

Q_SIGNALS:
    void itemCheckStateChanged(QTreeWidgetItem *item);

private:
    friend class CheckTreeWidgetItem;
    void reportCheckStateChanged(QTreeWidgetItem *item) { Q_EMIT itemCheckStateChanged(item); }
};

// The item type of CheckTreeWidget; plain QTreeWidgetItems in it report nothing.
class CheckTreeWidgetItem final : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    void setData(int column, int role, const QVariant &value) override;
};
