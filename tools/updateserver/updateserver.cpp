#include "updateserver.h"

#include <QList>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

namespace {

// A client that says nothing useful for this long is dropped.
constexpr int IdleTimeoutMs = 10000;

// A strict version: digits and dots only, as the program sends it.
QVersionNumber parseVersion(const QString &text)
{
    qsizetype suffix = 0;
    const QVersionNumber version = QVersionNumber::fromString(text, &suffix);
    if (version.isNull() || suffix != text.size())
        return {};
    return version;
}

} // namespace

UpdateServer::UpdateServer(const QVersionNumber &latest, QObject *parent)
    : QTcpServer(parent), m_latest(latest)
{
    connect(this, &QTcpServer::newConnection, this, &UpdateServer::acceptConnections);
}

QByteArray UpdateServer::answerFor(const QByteArray &formBody, const QVersionNumber &latest)
{
    // '+' is a space in form bodies; QUrlQuery leaves it alone.
    QByteArray spaced = formBody;
    spaced.replace('+', "%20");
    const QUrlQuery query(QString::fromLatin1(spaced));
    if (query.queryItemValue(QStringLiteral("app"), QUrl::FullyDecoded) !=
        QLatin1String("keyquill"))
        return QByteArrayLiteral("NO");
    const QVersionNumber posted =
        parseVersion(query.queryItemValue(QStringLiteral("version"), QUrl::FullyDecoded));
    if (posted.isNull() || latest.isNull())
        return QByteArrayLiteral("NO");
    return QVersionNumber::compare(posted.normalized(), latest.normalized()) < 0
               ? QByteArrayLiteral("YES")
               : QByteArrayLiteral("NO");
}

void UpdateServer::acceptConnections()
{
    while (QTcpSocket *socket = nextPendingConnection()) {
        m_pending.insert(socket, QByteArray());
        auto *idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
        idle->start(IdleTimeoutMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void UpdateServer::readRequest(QTcpSocket *socket)
{
    auto pending = m_pending.find(socket);
    if (pending == m_pending.end()) {
        socket->readAll(); // already answered
        return;
    }
    QByteArray &request = *pending;
    request += socket->readAll();
    if (request.size() > MaxRequestSize) {
        respond(socket, QByteArrayLiteral("413 Content Too Large"), QByteArrayLiteral("NO"));
        return;
    }

    const qsizetype headerEnd = request.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return; // the rest of the head is still coming
    const QList<QByteArray> lines = request.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.")) {
        respond(socket, QByteArrayLiteral("400 Bad Request"), QByteArrayLiteral("NO"));
        return;
    }
    if (requestLine.at(1) != "/apps/updates/check.php") {
        respond(socket, QByteArrayLiteral("404 Not Found"), QByteArrayLiteral("NO"));
        return;
    }
    if (requestLine.at(0) != "POST") {
        respond(socket, QByteArrayLiteral("405 Method Not Allowed"), QByteArrayLiteral("NO"));
        return;
    }

    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 &&
            line.left(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            contentLength = line.mid(colon + 1).trimmed().toLongLong(&ok);
            if (!ok || contentLength < 0) {
                respond(socket, QByteArrayLiteral("400 Bad Request"), QByteArrayLiteral("NO"));
                return;
            }
        }
    }
    const qsizetype bodyStart = headerEnd + 4;
    if (request.size() - bodyStart < contentLength)
        return; // the rest of the body is still coming
    respond(socket, QByteArrayLiteral("200 OK"),
            answerFor(request.mid(bodyStart, contentLength), m_latest));
}

void UpdateServer::respond(QTcpSocket *socket, const QByteArray &status, const QByteArray &body)
{
    m_pending.remove(socket);
    socket->write("HTTP/1.1 " + status +
                  "\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->disconnectFromHost();
}
