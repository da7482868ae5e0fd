// The update check at start-up, the About dialog, the instructions page and the ads links.
#include "mainwindow/mainwindow.h"
#include "ui_mainwindow.h"

#include <QDesktopServices>
#include <QNetworkReply>
#include <QUrl>

void MainWindow::checkForUpdates() {}

void MainWindow::requestFinished(QNetworkReply *reply)
{
    if (reply)
        reply->deleteLater();
}

void MainWindow::helpAbout() {}

void MainWindow::helpInstructions() {}

void MainWindow::adsLinkClicked(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}
