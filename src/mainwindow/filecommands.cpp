#include "filecommands.h"

#include "exchange/exportdlg.h"
#include "print/report.h"
#include "store/macrostore.h"
#include "store/storesnapshot.h"
#include "widgets/heaprelease.h"

#include <QPrinter>
#include <QPrintPreviewDialog>
#include <QTreeWidget>

FileCommands::FileCommands(QWidget *window, QTreeWidget *tree, MacroStore &store, Dialogs &dialogs)
    : m_window(window), m_tree(tree), m_store(store), m_dialogs(dialogs)
{
}

void FileCommands::exportMasters()
{
    ExportDlg dialog(m_store, m_dialogs);
    dialog.exec();
}

void FileCommands::print(bool all)
{
    {
        QPrintPreviewDialog preview;
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, m_window,
                         [this, all](QPrinter *printer) { printOnto(all, printer); });
        preview.exec();
    }
    // The preview's pages are gone, but not from the process's memory unless given back.
    HeapRelease::release();
}

void FileCommands::printOnto(bool all, QPrinter *printer)
{
    if (all) {
        printer->setDocName(tr("Keyquill - All Master Macros"));
        Report::printAllMasterMacros(*m_store.snapshot(), printer);
        return;
    }
    // A selected note prints its whole master macro.
    const QList<QTreeWidgetItem *> selected = m_tree->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem *item = selected.first();
    const QString master = item->parent() ? item->parent()->text(0) : item->text(0);
    // The name the print queue shows for the job.
    printer->setDocName(tr("Keyquill - %1").arg(master));
    Report::printMasterMacro(*m_store.snapshot(), master, printer);
}
