#include "updatequery.h"

#include "buildconfig.h"

#include <QUrl>

namespace UpdateQuery {

bool parseServer(const QString &value, Server *server)
{
    const QString trimmed = value.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char('/')) ||
        trimmed.contains(QLatin1Char('@')))
        return false;
    // QUrl does the splitting, IPv6 brackets and port range included.
    const QUrl url(QStringLiteral("http://") + trimmed, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.path().isEmpty())
        return false;
    const int port = url.port(80);
    if (port <= 0)
        return false;
    server->host = url.host();
    server->port = port;
    return true;
}

bool server(Server *server)
{
    if (qEnvironmentVariableIsEmpty("KEYQUILL_UPDATE_SERVER")) {
        server->host = QStringLiteral(KEYQUILL_VENDOR_HOST);
        server->port = 80;
        return true;
    }
    return parseServer(qEnvironmentVariable("KEYQUILL_UPDATE_SERVER"), server);
}

QByteArray hostHeader(const Server &server)
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(server.host);
    if (server.port != 80)
        url.setPort(server.port);
    return url.authority(QUrl::FullyEncoded).toLatin1();
}

QByteArray request(const Server &server, const QString &version)
{
    const QByteArray form = body(version);
    return "POST " + Path + " HTTP/1.1\r\nHost: " + hostHeader(server) +
           "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           QByteArray::number(form.size()) + "\r\n\r\n" + form;
}

QByteArray body(const QString &version)
{
    return QByteArrayLiteral("app=keyquill") + QByteArrayLiteral("&version=") +
           QUrl::toPercentEncoding(version);
}

bool offersUpdate(const QByteArray &answer)
{
    const qsizetype zero = answer.indexOf('\0');
    const QByteArray text = zero < 0 ? answer : answer.left(zero);
    return text == QByteArrayLiteral("YES");
}

} // namespace UpdateQuery
