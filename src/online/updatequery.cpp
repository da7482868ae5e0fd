#include "updatequery.h"

#include "buildconfig.h"

#include <QNetworkRequest>
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

QNetworkRequest request(const Server &server)
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(server.host);
    url.setPort(server.port);
    url.setPath(QString::fromLatin1(Path));

    QNetworkRequest request(url);
    request.setRawHeader("Host", hostHeader(server));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    // The answer is read as it comes: a redirect is just another answer that is not "YES".
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    return request;
}

QByteArray body(const QString &version)
{
    return QByteArrayLiteral("app=keyquill") + QByteArrayLiteral("&version=") +
           QUrl::toPercentEncoding(version);
}

bool gotNoAnswer(QNetworkReply::NetworkError error)
{
    // The network layer turns HTTP error statuses into errors of these kinds; the status of
    // an answer is not looked at.
    const bool httpStatus = (error >= QNetworkReply::ContentAccessDenied &&
                             error <= QNetworkReply::UnknownContentError) ||
                            (error >= QNetworkReply::InternalServerError &&
                             error <= QNetworkReply::UnknownServerError) ||
                            error == QNetworkReply::ProtocolInvalidOperationError ||  // 400, 418
                            error == QNetworkReply::ProxyAuthenticationRequiredError; // 407
    return error != QNetworkReply::NoError && !httpStatus;
}

bool offersUpdate(const QByteArray &answer)
{
    const qsizetype zero = answer.indexOf('\0');
    const QByteArray text = zero < 0 ? answer : answer.left(zero);
    return text == QByteArrayLiteral("YES");
}

} // namespace UpdateQuery
