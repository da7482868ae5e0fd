#include "updatechecker.h"

#include "buildconfig.h"

#include "online/updatequery.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

// The boxes speak for the main window.
QString windowText(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

UpdateChecker::UpdateChecker(QObject *parent) : QObject(parent)
{
    connect(&m_post, &BoundedHttpPost::finished, this, &UpdateChecker::answered);
}

void UpdateChecker::start(int deadlineMs)
{
    UpdateQuery::Server server;
    if (!UpdateQuery::server(&server)) {
        // Said after start-up, like any other failure of the check.
        const QString value = qEnvironmentVariable("KEYQUILL_UPDATE_SERVER");
        QTimer::singleShot(0, this, [this, value] {
            Q_EMIT failed(
                tr("KEYQUILL_UPDATE_SERVER is not a host:port address: \"%1\"").arg(value));
            Q_EMIT finished();
        });
        return;
    }
    m_post.post(server.host, quint16(server.port),
                UpdateQuery::request(server, QCoreApplication::applicationVersion()),
                UpdateQuery::MaxAnswerSize, deadlineMs);
}

void UpdateChecker::tellUser(std::function<void(const QString &, const QString &)> warn)
{
    // The link names the vendor's site, where the new version is, even when the question went
    // to another server.
    connect(this, &UpdateChecker::updateAvailable, this, [warn] {
        warn(windowText("Update available"),
             windowText("Update available. You may download new version from our "
                        "site: <a href=\"http://%1\">%1</a>")
                 .arg(QStringLiteral(KEYQUILL_VENDOR_HOST)));
    });
    connect(this, &UpdateChecker::failed, this, [warn](const QString &description) {
        warn(windowText("Error checking for updates"),
             windowText(
                 "Error occured while contacting update server.\r\n\r\nError Description:\r\n") +
                 description);
    });
}

void UpdateChecker::answered()
{
    switch (m_post.outcome()) {
    case BoundedHttpPost::Outcome::Answered:
        // Whatever the status, only the body counts.
        if (UpdateQuery::offersUpdate(m_post.body()))
            Q_EMIT updateAvailable();
        break;
    case BoundedHttpPost::Outcome::Failed:
        Q_EMIT failed(m_post.errorString());
        break;
    case BoundedHttpPost::Outcome::TooLong:
    case BoundedHttpPost::Outcome::TimedOut:
    case BoundedHttpPost::Outcome::Pending:
        break; // cut off, or no whole answer by the deadline: nothing to say
    }
    Q_EMIT finished();
}
