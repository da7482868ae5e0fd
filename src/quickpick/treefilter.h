#pragma once

#include "core/notematcher.h"
#include "store/macrostore.h"

#include <memory>
#include <QHash>
#include <QObject>
#include <QSet>

class CheckTreeWidget;
class MacroTreeItems;
class QLineEdit;
class QTreeWidgetItem;
class StoreSnapshot;

// Ctrl+F over the main window's tree: a field above it, hidden until then, that hides the rows
// of notes a query does not find (the quick pick's rule) and the master macros none of whose
// notes it finds, and expands the rest. Esc empties and hides it and puts back the expansion the
// user had. The rows stay the tree's own, so ticking, editing and selecting work as unfiltered.
class TreeFilter final : public QObject
{
    Q_OBJECT

public:
    // The field joins the tree's splitter; `store` and `items` must outlive this.
    TreeFilter(CheckTreeWidget *tree, MacroTreeItems &items, const MacroStore &store);

    QLineEdit *field() const { return m_field; }

public Q_SLOTS:
    void start();
    void stop();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply(const QString &query);
    void showAll();

    CheckTreeWidget *m_tree;
    MacroTreeItems &m_items;
    const MacroStore &m_store;
    QLineEdit *m_field;
    bool m_filtering = false;
    QHash<QTreeWidgetItem *, bool> m_expanded;   // the user's, from before the filter
    std::shared_ptr<const StoreSnapshot> m_read; // the store as matched
};
