// The printed report of one or all master macros.
#include "mainwindow/mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::printMasterMacro() {}

void MainWindow::printAllMasterMacros() {}

void MainWindow::generateMasterMacroPP(QPrinter *printer)
{
    Q_UNUSED(printer)
}

void MainWindow::generateAllMasterMacrosPP(QPrinter *printer)
{
    Q_UNUSED(printer)
}
