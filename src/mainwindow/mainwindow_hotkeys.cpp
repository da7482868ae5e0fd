// Registration of the active master macro's hot keys, and delivery of a note's text.
#include "mainwindow/mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::registerShortcuts(const QString &masterName)
{
    Q_UNUSED(masterName)
}

void MainWindow::clearShortcuts() {}

void MainWindow::shortcutActivated() {}
