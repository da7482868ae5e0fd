// Add, rename and delete of master macros and notes.
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::addMasterMacro() {}

void MainWindow::addMacro() {}

void MainWindow::renameMacro() {}

void MainWindow::deleteMacro() {}
