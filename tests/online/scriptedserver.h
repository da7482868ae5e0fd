#pragma once

#include <QByteArray>
#include <QTcpServer>

class QTcpSocket;

// A local stand-in for the update server that records each request and answers with the bytes
// it is given, or with a body that never ends.
class ScriptedServer final : public QTcpServer
{
    Q_OBJECT

public:
    // Where an endless body gives up and closes, so a test without a cap still ends.
    static constexpr qint64 EndlessLimit = 32 * 1024 * 1024;

    explicit ScriptedServer(QObject *parent = nullptr);

    QString address() const; // "127.0.0.1:<port>"
    void answerWith(const QByteArray &response) { m_response = response; }
    void answerEndlessly(const QByteArray &head, const QByteArray &bodyStart);

    int requestCount() const { return m_requests; }
    QByteArray lastRequest() const { return m_lastRequest; }
    qint64 endlessBytesSent() const { return m_sent; }
    bool clientClosed() const { return m_clientClosed; }

private:
    void serve(QTcpSocket *socket, QByteArray *buffer);
    void pump(QTcpSocket *socket);

    QByteArray m_response;
    bool m_endless = false;
    QByteArray m_head;
    QByteArray m_bodyStart;
    int m_requests = 0;
    QByteArray m_lastRequest;
    qint64 m_sent = 0;
    bool m_clientClosed = false;
};
