// The printed report of one or all master macros.
#include "mainwindow/mainwindow.h"
#include "ui_mainwindow.h"

#include "print/report.h"

#include <QPrinter>
#include <QPrintPreviewDialog>

void MainWindow::printMasterMacro()
{
    QPrintPreviewDialog preview;
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            &MainWindow::generateMasterMacroPP);
    preview.exec();
}

void MainWindow::printAllMasterMacros()
{
    QPrintPreviewDialog preview;
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            &MainWindow::generateAllMasterMacrosPP);
    preview.exec();
}

void MainWindow::generateMasterMacroPP(QPrinter *printer)
{
    const QList<QTreeWidgetItem *> selected = ui->treeMacros->selectedItems();
    if (selected.isEmpty())
        return;
    // A selected note prints its whole master macro.
    QTreeWidgetItem *master = selected.first();
    if (master->parent())
        master = master->parent();
    // The name the print queue shows for the job.
    printer->setDocName(tr("Keyquill - %1").arg(master->text(0)));
    Report::render(Report::masterMacroPage(master->text(0)), printer);
}

void MainWindow::generateAllMasterMacrosPP(QPrinter *printer)
{
    printer->setDocName(tr("Keyquill - All Master Macros"));
    Report::render(Report::allMasterMacrosPage(), printer);
}
