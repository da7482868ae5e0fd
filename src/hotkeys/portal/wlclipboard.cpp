#include "wlclipboard.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

WlClipboard::WlClipboard(QObject *parent)
    : QObject(parent), m_copy(QStandardPaths::findExecutable(QStringLiteral("wl-copy"))),
      m_paste(QStandardPaths::findExecutable(QStringLiteral("wl-paste")))
{
}

bool WlClipboard::isAvailable() const
{
    return !m_copy.isEmpty() && !m_paste.isEmpty();
}

void WlClipboard::write(bool primary, const QString &type, const QByteArray &data,
                        std::function<void(bool)> written)
{
    // wl-copy stays in the background to serve the data until the clipboard changes hands; the
    // process we start returns once the data is on the clipboard.
    auto *process = new QProcess(this);
    m_writes.removeAll(nullptr);
    m_writes.append(process);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::finished, this,
            [process, written](int code, QProcess::ExitStatus status) {
                if (written)
                    written(status == QProcess::NormalExit && code == 0);
                process->deleteLater();
            });
    connect(process, &QProcess::errorOccurred, this,
            [process, written](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return; // finished() follows
                if (written)
                    written(false);
                process->deleteLater();
            });
    QStringList arguments{QStringLiteral("--type"), type};
    if (primary)
        arguments.append(QStringLiteral("--primary"));
    process->start(m_copy, arguments);
    process->write(data);
    process->closeWriteChannel();
}

// KWin 5.27 never answers for an empty clipboard (wl-paste waits for good): a list that does not
// come in time is taken for none, as the compositor alone gives it.
bool WlClipboard::formats(bool primary, QStringList *formats)
{
    formats->clear();
    QStringList arguments{QStringLiteral("--list-types")};
    if (primary)
        arguments.append(QStringLiteral("--primary"));
    QByteArray list;
    switch (paste(arguments, ListMs, &list)) {
    case Outcome::Failed:
        return !list.isNull(); // an empty clipboard ends wl-paste with an error
    case Outcome::TimedOut:
        return true;
    case Outcome::Done:
        break;
    }
    for (const QByteArray &line : list.split('\n')) {
        if (!line.trimmed().isEmpty())
            formats->append(QString::fromUtf8(line.trimmed()));
    }
    return true;
}

bool WlClipboard::read(bool primary, const QString &format, QByteArray *data)
{
    QStringList arguments{QStringLiteral("--no-newline"), QStringLiteral("--type"), format};
    if (primary)
        arguments.append(QStringLiteral("--primary"));
    return paste(arguments, ReadMs, data) == Outcome::Done;
}

// Runs wl-paste, reading what it writes as it comes: no more than ReadLimit is ever held.
// `out` stays null where wl-paste did not run at all.
WlClipboard::Outcome WlClipboard::paste(const QStringList &arguments, int ms, QByteArray *out)
{
    *out = QByteArray();
    for (const QPointer<QProcess> &write : std::as_const(m_writes)) {
        if (write && write->state() != QProcess::NotRunning)
            write->waitForFinished(ReadMs);
    }
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(m_paste, arguments);
    if (!process.waitForStarted(ms))
        return Outcome::Failed;
    *out = QByteArrayLiteral("");
    const auto stop = [&process](Outcome outcome) {
        process.kill();
        process.waitForFinished();
        return outcome;
    };
    while (process.state() != QProcess::NotRunning) {
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return stop(Outcome::TimedOut);
        process.waitForReadyRead(int(left));
        out->append(process.readAllStandardOutput());
        if (out->size() > ReadLimit)
            return stop(Outcome::Failed);
    }
    out->append(process.readAllStandardOutput());
    if (out->size() > ReadLimit)
        return Outcome::Failed;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
               ? Outcome::Done
               : Outcome::Failed;
}
