#include "boundedhttppost.h"

#include <QTcpSocket>

#include <algorithm>
#include <cctype>

namespace {

// The most one read takes, and the most the socket buffers: the rest waits in the kernel.
constexpr qint64 ReadStep = 16 * 1024;
// A chunk's size in hexadecimal, perhaps with a few extensions.
constexpr qint64 MaxChunkLine = 1024;
// Leading zeros aside, more digits than this make a chunk bigger than any body we accept.
constexpr qsizetype MaxChunkDigits = 8;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The status of "HTTP/1.x 200 Reason", or 0 when the line is not such a status line.
int statusOf(const QByteArray &line)
{
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || !isDigit(line.at(7)) ||
        line.at(8) != ' ' || (line.size() > 12 && line.at(12) != ' '))
        return 0;
    int status = 0;
    for (qsizetype i = 9; i < 12; ++i) {
        if (!isDigit(line.at(i)))
            return 0;
        status = status * 10 + (line.at(i) - '0');
    }
    return status >= 100 ? status : 0;
}

QString notHttp()
{
    return BoundedHttpPost::tr("The server's answer is not HTTP.");
}

} // namespace

BoundedHttpPost::BoundedHttpPost(QObject *parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finish(Outcome::TimedOut); });
}

void BoundedHttpPost::post(const QString &host, quint16 port, const QByteArray &request,
                           qint64 maxBodySize, int deadlineMs)
{
    m_request = request;
    m_maxBody = maxBodySize;
    m_socket = new QTcpSocket(this);
    // Qt's own buffer is the first place an endless answer would pile up.
    m_socket->setReadBufferSize(ReadStep);
    connect(m_socket, &QTcpSocket::connected, this, [this] { m_socket->write(m_request); });
    connect(m_socket, &QTcpSocket::readyRead, this, &BoundedHttpPost::readAnswer);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &BoundedHttpPost::socketError);
    m_deadline.start(deadlineMs);
    m_socket->connectToHost(host, port);
}

void BoundedHttpPost::readAnswer()
{
    while (m_outcome == Outcome::Pending) {
        while (step()) {
        }
        if (m_outcome != Outcome::Pending)
            return;
        m_pending.remove(0, m_parsed);
        m_parsed = 0;
        // Every stage consumes or rejects a full step, so there is always room here.
        const qint64 room = ReadStep - m_pending.size();
        if (room <= 0 || m_socket->bytesAvailable() <= 0)
            return;
        m_pending += m_socket->read(room);
    }
}

// Parses one piece of what has come in; false when it needs more bytes or the exchange is over.
bool BoundedHttpPost::step()
{
    if (m_outcome != Outcome::Pending)
        return false;
    switch (m_stage) {
    case Stage::StatusLine:
        return readStatusLine();
    case Stage::Headers:
        return readHeaderLine();
    case Stage::ChunkSize:
        return readChunkSize();
    case Stage::ChunkEnd:
        return readChunkEnd();
    case Stage::Trailer:
        return readTrailer();
    case Stage::FixedBody:
    case Stage::ChunkData:
    case Stage::ToClose:
        return readBodyBytes();
    }
    return false;
}

// The next whole line without its line end. False while it is incomplete, and when it is (or
// would be, once complete) longer than maxSize: the answer is then too long.
bool BoundedHttpPost::takeLine(qint64 maxSize, QByteArray *line)
{
    const qsizetype end = m_pending.indexOf('\n', m_parsed);
    const qint64 size = (end < 0 ? m_pending.size() : end + 1) - m_parsed;
    if (end < 0 ? size >= maxSize : size > maxSize) {
        finish(Outcome::TooLong);
        return false;
    }
    if (end < 0)
        return false;
    *line = m_pending.mid(m_parsed, end - m_parsed);
    if (line->endsWith('\r'))
        line->chop(1);
    m_parsed = end + 1;
    return true;
}

bool BoundedHttpPost::takeHeadLine(QByteArray *line)
{
    const qsizetype start = m_parsed;
    if (!takeLine(MaxHeadSize - m_headSize, line))
        return false;
    m_headSize += m_parsed - start;
    return true;
}

bool BoundedHttpPost::readStatusLine()
{
    QByteArray line;
    if (!takeHeadLine(&line))
        return false;
    m_status = statusOf(line);
    if (m_status == 0) {
        finish(Outcome::Failed, notHttp());
        return false;
    }
    m_contentLength = -1;
    m_hasTransferEncoding = false;
    m_chunked = false;
    m_stage = Stage::Headers;
    return true;
}

bool BoundedHttpPost::readHeaderLine()
{
    QByteArray line;
    if (!takeHeadLine(&line))
        return false;
    if (line.isEmpty())
        return startBody();
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || line.front() == ' ' || line.front() == '\t')
        return true; // a folded or broken line: none of the headers read here
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "transfer-encoding") {
        m_hasTransferEncoding = true;
        m_chunked = value.split(',').constLast().trimmed().toLower() == "chunked";
    } else if (name == "content-length") {
        bool ok = false;
        const qint64 length = value.toLongLong(&ok);
        if (!ok || length < 0 || (m_contentLength >= 0 && length != m_contentLength)) {
            finish(Outcome::Failed, notHttp());
            return false;
        }
        m_contentLength = length;
    }
    return true;
}

bool BoundedHttpPost::startBody()
{
    if (m_status < 200) {
        // An interim answer such as 100 Continue: the real one follows.
        if (++m_interimAnswers > MaxInterimAnswers) {
            finish(Outcome::TooLong);
            return false;
        }
        m_stage = Stage::StatusLine;
        return true;
    }
    if (m_status == 204 || m_status == 304) {
        finish(Outcome::Answered);
        return false;
    }
    if (m_hasTransferEncoding || m_contentLength < 0) {
        m_stage = m_chunked ? Stage::ChunkSize : Stage::ToClose;
        return true;
    }
    if (m_contentLength == 0 || m_contentLength > m_maxBody) {
        finish(m_contentLength == 0 ? Outcome::Answered : Outcome::TooLong);
        return false;
    }
    m_remaining = m_contentLength;
    m_stage = Stage::FixedBody;
    return true;
}

bool BoundedHttpPost::readChunkSize()
{
    QByteArray line;
    if (!takeLine(MaxChunkLine, &line))
        return false;
    const qsizetype extension = line.indexOf(';');
    const QByteArray digits = (extension < 0 ? line : line.left(extension)).trimmed();
    qsizetype first = 0;
    while (first + 1 < digits.size() && digits.at(first) == '0')
        ++first;
    if (digits.isEmpty() || !std::all_of(digits.cbegin(), digits.cend(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        finish(Outcome::Failed, notHttp());
        return false;
    }
    // Decided before the size is even converted, let alone anything kept.
    if (digits.size() - first > MaxChunkDigits) {
        finish(Outcome::TooLong);
        return false;
    }
    const qint64 size = digits.mid(first).toLongLong(nullptr, 16);
    if (size == 0) {
        m_stage = Stage::Trailer;
        return true;
    }
    if (m_body.size() + size > m_maxBody) {
        finish(Outcome::TooLong);
        return false;
    }
    m_remaining = size;
    m_stage = Stage::ChunkData;
    return true;
}

bool BoundedHttpPost::readChunkEnd()
{
    QByteArray line;
    if (!takeLine(MaxChunkLine, &line))
        return false;
    if (!line.isEmpty()) {
        finish(Outcome::Failed, notHttp());
        return false;
    }
    m_stage = Stage::ChunkSize;
    return true;
}

bool BoundedHttpPost::readTrailer()
{
    QByteArray line;
    if (!takeHeadLine(&line))
        return false;
    if (line.isEmpty())
        finish(Outcome::Answered);
    return true;
}

bool BoundedHttpPost::readBodyBytes()
{
    const qint64 available = m_pending.size() - m_parsed;
    const qint64 take = m_stage == Stage::ToClose ? available : qMin(available, m_remaining);
    if (take == 0)
        return false;
    if (m_body.size() + take > m_maxBody) {
        finish(Outcome::TooLong);
        return false;
    }
    m_body.append(m_pending.constData() + m_parsed, take);
    m_parsed += take;
    m_remaining -= take;
    if (m_stage == Stage::ToClose || m_remaining > 0)
        return true;
    if (m_stage == Stage::FixedBody) {
        finish(Outcome::Answered);
        return false;
    }
    m_stage = Stage::ChunkEnd;
    return true;
}

void BoundedHttpPost::socketError()
{
    if (m_outcome != Outcome::Pending)
        return;
    if (m_socket->error() != QAbstractSocket::RemoteHostClosedError) {
        finish(Outcome::Failed, m_socket->errorString());
        return;
    }
    // The server closed; what it sent before is still in the socket's buffer.
    readAnswer();
    if (m_outcome != Outcome::Pending)
        return;
    if (m_stage == Stage::ToClose)
        finish(Outcome::Answered);
    else
        finish(Outcome::Failed, m_socket->errorString());
}

void BoundedHttpPost::finish(Outcome outcome, const QString &error)
{
    if (m_outcome != Outcome::Pending)
        return;
    m_outcome = outcome;
    m_error = error;
    m_deadline.stop();
    if (outcome != Outcome::Answered)
        m_body.clear();
    m_pending.clear();
    m_parsed = 0;
    // Nothing more is sent or read: the descriptor goes now, whatever the kernel still holds.
    m_socket->abort();
    // Later, so that no receiver runs (or opens a dialog) inside the socket's own signal.
    QTimer::singleShot(0, this, &BoundedHttpPost::finished);
}
