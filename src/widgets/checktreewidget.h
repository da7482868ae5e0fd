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
