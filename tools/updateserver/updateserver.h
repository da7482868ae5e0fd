#pragma once

#include <QByteArray>
#include <QHash>
#include <QTcpServer>
#include <QVersionNumber>

class QTcpSocket;

// The server side of the start-up update question: answers "YES" to
// POST /apps/updates/check.php with app=keyquill and a version older than the latest one,
// and "NO" to any other such query. Anything else gets an HTTP error status.
class UpdateServer final : public QTcpServer
{
    Q_OBJECT

public:
    // Requests bigger than this are refused; honest ones are a few hundred bytes.
    static constexpr qsizetype MaxRequestSize = 16 * 1024;

    explicit UpdateServer(const QVersionNumber &latest, QObject *parent = nullptr);

    // The answer body for a form-encoded query body.
    static QByteArray answerFor(const QByteArray &formBody, const QVersionNumber &latest);

private:
    void acceptConnections();
    void readRequest(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const QByteArray &status, const QByteArray &body);

    QVersionNumber m_latest;
    QHash<QTcpSocket *, QByteArray> m_pending;
};
