#include "scriptedserver.h"

#include <QTcpSocket>

ScriptedServer::ScriptedServer(QObject *parent) : QTcpServer(parent)
{
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = nextPendingConnection()) {
            auto *buffer = new QByteArray;
            connect(socket, &QTcpSocket::readyRead, this,
                    [this, socket, buffer] { serve(socket, buffer); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket, buffer] {
                m_clientClosed = true;
                delete buffer;
                socket->deleteLater();
            });
        }
    });
    listen(QHostAddress::LocalHost, 0);
}

QString ScriptedServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(serverPort());
}

void ScriptedServer::answerEndlessly(const QByteArray &head, const QByteArray &bodyStart)
{
    m_endless = true;
    m_head = head;
    m_bodyStart = bodyStart;
}

void ScriptedServer::serve(QTcpSocket *socket, QByteArray *buffer)
{
    *buffer += socket->readAll();
    const qsizetype headEnd = buffer->indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    qsizetype length = 0;
    for (const QByteArray &line : buffer->left(headEnd).split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toLongLong();
    }
    if (buffer->size() < headEnd + 4 + length)
        return;

    ++m_requests;
    m_lastRequest = *buffer;
    buffer->clear();
    if (!m_endless) {
        socket->write(m_response);
        socket->disconnectFromHost();
        return;
    }
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { pump(socket); });
    socket->write(m_head + m_bodyStart);
}

void ScriptedServer::pump(QTcpSocket *socket)
{
    if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() > 0)
        return;
    if (m_sent >= EndlessLimit) {
        socket->disconnectFromHost();
        return;
    }
    const QByteArray chunk(16 * 1024, 'x');
    m_sent += chunk.size();
    socket->write(chunk);
}
