#pragma once

#include <QCoreApplication>
#include <QString>

class Dialogs;
class LiveMaster;
class MacroStore;
class MacroTreeItems;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// The commands that change the set of master macros and notes: add, rename, delete and import.
// Each asks through the dialogs, changes the store, and only once the store has taken the change
// makes the tree and the live master macro follow; a refused change is said and changes nothing.
// The subject is the tree's first selected row.
class MacroCommands final
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    MacroCommands(QWidget *window, QTreeWidget *tree, MacroTreeItems &items, MacroStore &store,
                  LiveMaster &live, Dialogs &dialogs);

    void addMasterMacro();
    void addNote();
    // True when something was renamed.
    bool rename();
    void remove();
    void import();

    void warn(const QString &text) const;

private:
    QTreeWidgetItem *selectedItem() const;
    bool hasNote(const QString &master, const QString &name) const;
    void storeWriteFailed(const QString &what) const;

    QWidget *m_window;
    QTreeWidget *m_tree;
    MacroTreeItems &m_items;
    MacroStore &m_store;
    LiveMaster &m_live;
    Dialogs &m_dialogs;
};
