#pragma once

#include <QCoreApplication>

class Dialogs;
class MacroStore;
class QPrinter;
class QTreeWidget;
class QWidget;

// The commands of the File menu that read the store and leave it as it is: export and the
// printed reports, each in its own dialog.
class FileCommands final
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    FileCommands(QWidget *window, QTreeWidget *tree, MacroStore &store, Dialogs &dialogs);

    void exportMasters();
    // The master macro of the selected row, or every one: in a preview, or onto `printer`.
    void print(bool all);
    void printOnto(bool all, QPrinter *printer);

private:
    QWidget *m_window;
    QTreeWidget *m_tree;
    MacroStore &m_store;
    Dialogs &m_dialogs;
};
