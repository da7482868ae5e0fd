#include "updatechecker.h"

#include "buildconfig.h"
#include "online/updatequery.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QTimer>

namespace {

// Why this checker ended a reply itself; a reply without the property ended on its own.
constexpr char EndedProperty[] = "keyquillEnded";
enum Ended { AnswerTooLong = 1, TimedOut = 2 };

void end(QNetworkReply *reply, Ended why)
{
    if (reply->isFinished())
        return;
    reply->setProperty(EndedProperty, why);
    reply->abort();
}

} // namespace

UpdateChecker::UpdateChecker(QObject *parent) : QObject(parent)
{
    connect(&m_http, &QNetworkAccessManager::finished, this, &UpdateChecker::finished);
}

void UpdateChecker::start()
{
#if KEYQUILL_UPDATE_CHECK_ENABLED
    UpdateQuery::Server server;
    if (!UpdateQuery::server(&server)) {
        // Said after start-up, like any other failure of the check.
        const QString value = qEnvironmentVariable("KEYQUILL_UPDATE_SERVER");
        QTimer::singleShot(0, this, [this, value] {
            Q_EMIT failed(
                tr("KEYQUILL_UPDATE_SERVER is not a host:port address: \"%1\"").arg(value));
        });
        return;
    }
    QNetworkReply *reply = m_http.post(UpdateQuery::request(server),
                                       UpdateQuery::body(QCoreApplication::applicationVersion()));
    // Qt reads ahead of us into the reply's buffer; bounded, it stops reading from the socket
    // until we take the data. One byte over the cap is enough to know the answer is too long.
    reply->setReadBufferSize(UpdateQuery::MaxAnswerSize + 1);
    const auto checkSize = [reply] {
        if (reply->bytesAvailable() > UpdateQuery::MaxAnswerSize)
            end(reply, AnswerTooLong);
    };
    connect(reply, &QNetworkReply::readyRead, reply, checkSize);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > UpdateQuery::MaxAnswerSize)
            end(reply, AnswerTooLong);
    });
    // Also a server that trickles, or never ends its header, gets an end.
    QTimer::singleShot(TimeoutMs, reply, [reply] { end(reply, TimedOut); });
#endif
}

void UpdateChecker::finished(QNetworkReply *reply)
{
    if (!reply)
        return;
    reply->deleteLater();
    const int ended = reply->property(EndedProperty).toInt();
    if (ended == AnswerTooLong)
        return; // cut off: no update
    if (ended == TimedOut) {
        Q_EMIT failed(
            tr("The update server did not answer within %1 seconds.").arg(TimeoutMs / 1000));
        return;
    }

    const QNetworkReply::NetworkError error = reply->error();
    if (UpdateQuery::gotNoAnswer(error)) {
        Q_EMIT failed(reply->errorString());
        return;
    }

    // Whatever the status, only the body counts.
    const QByteArray answer = reply->read(UpdateQuery::MaxAnswerSize + 1);
    if (answer.size() <= UpdateQuery::MaxAnswerSize && UpdateQuery::offersUpdate(answer))
        Q_EMIT updateAvailable();
}
