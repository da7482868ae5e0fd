#pragma once

#include <QByteArray>
#include <QString>

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

// The whole request as it goes on the wire: the POST line, Host, Content-Type,
// Content-Length and the body, nothing else (no offer of compressed answers, in particular).
QByteArray request(const Server &server, const QString &version);

// "app=keyquill&version=" and the percent-encoded version.
QByteArray body(const QString &version);

// True when the answer, read up to its first zero byte, is exactly "YES".
bool offersUpdate(const QByteArray &answer);

} // namespace UpdateQuery
