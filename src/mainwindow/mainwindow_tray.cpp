// Tray icon and hide-instead-of-close.
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>

void MainWindow::createTrayIcon()
{
    m_trayMenu = new QMenu(this);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_quitAction);

    m_trayIcon = new QSystemTrayIcon(m_mainIcon, this);
    m_trayIcon->setContextMenu(m_trayMenu);
    m_trayIcon->setToolTip(windowTitle());
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::iconActivated);
    // The program lives in the tray: with the window hidden, closing any other window (a
    // message box, a dialog) would otherwise count as closing the last one and end it.
    QApplication::setQuitOnLastWindowClosed(false);
}

void MainWindow::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
    if (isVisible())
        setVisible(false);
    else
        showMaximized();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // While the tray icon shows, closing only hides: the hot keys must stay live.
    if (m_trayIcon && m_trayIcon->isVisible()) {
        setVisible(false);
        event->ignore();
    }
}
