#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

// One plain-HTTP/1.1 exchange on the calling thread whose every read is bounded: the head of the
// answer (status lines and header lines of the answer, of up to MaxInterimAnswers interim
// answers before it and of a chunked body's trailer) up to MaxHeadSize, the body up to the cap
// the caller gives, the whole exchange up to a deadline. Whatever a server sends, memory stays
// bounded and the socket is closed when the exchange ends.
class BoundedHttpPost final : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Pending,
        Answered, // a complete answer: body() holds its body, decoded from chunks if chunked
        TooLong,  // cut off: head or body over its cap, or more interim answers than allowed
        Failed,   // no complete answer (no connection, dropped, not HTTP): see errorString()
        TimedOut, // the deadline came first
    };

    static constexpr qint64 MaxHeadSize = 16 * 1024;
    static constexpr int MaxInterimAnswers = 8;

    explicit BoundedHttpPost(QObject *parent = nullptr);

    // Connects, sends `request` as it is and reads the answer; emits finished() once, later.
    void post(const QString &host, quint16 port, const QByteArray &request, qint64 maxBodySize,
              int deadlineMs);

    Outcome outcome() const { return m_outcome; }
    const QByteArray &body() const { return m_body; }
    const QString &errorString() const { return m_error; }

Q_SIGNALS:
    void finished();

private:
    enum class Stage {
        StatusLine,
        Headers,
        FixedBody,
        ChunkSize,
        ChunkData,
        ChunkEnd,
        Trailer,
        ToClose
    };

    void readAnswer();
    bool step();
    bool takeLine(qint64 maxSize, QByteArray *line);
    bool takeHeadLine(QByteArray *line);
    bool readStatusLine();
    bool readHeaderLine();
    bool startBody();
    bool readChunkSize();
    bool readChunkEnd();
    bool readTrailer();
    bool readBodyBytes();
    void socketError();
    void finish(Outcome outcome, const QString &error = QString());

    QTcpSocket *m_socket = nullptr;
    QTimer m_deadline;
    QByteArray m_request;
    QByteArray m_pending; // received, parsed up to m_parsed; never more than one read step
    qsizetype m_parsed = 0;
    QByteArray m_body;
    qint64 m_maxBody = 0;
    qint64 m_headSize = 0;
    int m_interimAnswers = 0;
    int m_status = 0;
    qint64 m_contentLength = -1;
    bool m_hasTransferEncoding = false;
    bool m_chunked = false;
    qint64 m_remaining = 0; // of the fixed-length body or of the current chunk
    Stage m_stage = Stage::StatusLine;
    Outcome m_outcome = Outcome::Pending;
    QString m_error;
};
