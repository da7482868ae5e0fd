// Import of master macro files and the export command.
#include "mainwindow/mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::importMasterMacro() {}

void MainWindow::exportMasterMacro() {}
