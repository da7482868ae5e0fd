#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QString>

class QNetworkRequest;

// The start-up question to the update server: where it goes, what is sent, how the answer reads.
namespace UpdateQuery {

// Enough for any honest answer; a longer one is cut off and means no update.
constexpr qint64 MaxAnswerSize = 64 * 1024;

inline const QByteArray Path = QByteArrayLiteral("/apps/updates/check.php");

struct Server
{
    QString host;
    int port = 80;
};

// The vendor's update server, or the one a non-empty KEYQUILL_UPDATE_SERVER ("host:port" or
// "host") names. Returns false, leaving *server alone, when the variable is not such an address.
bool server(Server *server);
bool parseServer(const QString &value, Server *server);

// The value of the Host header: the host name, with the port when it is not 80.
QByteArray hostHeader(const Server &server);

// POST target and headers, with no redirect following (the answer is read as it comes).
QNetworkRequest request(const Server &server);

// "app=keyquill&version=" and the percent-encoded version.
QByteArray body(const QString &version);

// True when the query got no answer at all: refused, unreachable, timed out, unknown host,
// broken connection. Error statuses (a 404 page, a 418) are answers like any other, to be read.
bool gotNoAnswer(QNetworkReply::NetworkError error);

// True when the answer, read up to its first zero byte, is exactly "YES".
bool offersUpdate(const QByteArray &answer);

} // namespace UpdateQuery
