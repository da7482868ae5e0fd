// The update check at start-up, the About dialog, the instructions page and the ads links.
#include "mainwindow/mainwindow.h"
#include "ui_mainwindow.h"

#include "buildconfig.h"
#include "online/aboutdlg.h"
#include "online/updatequery.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace {

// Marks a reply this window aborted itself because its answer ran over the cap.
constexpr char AnswerCutProperty[] = "keyquillAnswerCut";

} // namespace

void MainWindow::checkForUpdates()
{
#if KEYQUILL_UPDATE_CHECK_ENABLED
    UpdateQuery::Server server;
    if (!UpdateQuery::server(&server)) {
        // Said after start-up, like any other failure of the check.
        QTimer::singleShot(0, this, [this] {
            showUpdateError(tr("KEYQUILL_UPDATE_SERVER is not a host:port address: \"%1\"")
                                .arg(qEnvironmentVariable("KEYQUILL_UPDATE_SERVER")));
        });
        return;
    }
    QNetworkReply *reply = m_http.post(UpdateQuery::request(server),
                                       UpdateQuery::body(QCoreApplication::applicationVersion()));
    connect(reply, &QNetworkReply::readyRead, reply, [reply] {
        if (reply->bytesAvailable() > UpdateQuery::MaxAnswerSize) {
            reply->setProperty(AnswerCutProperty, true);
            reply->abort();
        }
    });
#endif
}

void MainWindow::requestFinished(QNetworkReply *reply)
{
    if (!reply)
        return;
    reply->deleteLater();
    if (reply->property(AnswerCutProperty).toBool())
        return;

    const QNetworkReply::NetworkError error = reply->error();
    if (UpdateQuery::gotNoAnswer(error)) {
        showUpdateError(reply->errorString());
        return;
    }

    // Whatever the status, only the body counts.
    const QByteArray answer = reply->read(UpdateQuery::MaxAnswerSize + 1);
    if (answer.size() > UpdateQuery::MaxAnswerSize || !UpdateQuery::offersUpdate(answer))
        return;
    // The link names the vendor's site, where the new version is, even when the question went to
    // another server.
    QMessageBox::warning(this, tr("Update available"),
                         tr("Update available. You may download new version from our site: <a "
                            "href=\"http://%1\">%1</a>")
                             .arg(QStringLiteral(KEYQUILL_VENDOR_HOST)),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::showUpdateError(const QString &description)
{
    QMessageBox::warning(
        this, tr("Error checking for updates"),
        tr("Error occured while contacting update server.\r\n\r\nError Description:\r\n") +
            description,
        QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::helpAbout()
{
    AboutDlg dialog;
    dialog.exec();
}

void MainWindow::helpInstructions()
{
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("http://" KEYQUILL_VENDOR_HOST "/corvane_key_quill.php")));
}

void MainWindow::adsLinkClicked(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}
