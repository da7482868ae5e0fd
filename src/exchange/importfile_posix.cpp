// ImportFile on POSIX systems: open(2) with O_NONBLOCK so that a FIFO never waits for a writer,
// then fstat(2) on what was opened.
#include "importfile.h"

#include "importprogress.h"
#include "store/filedescriptor.h"

#include <algorithm>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ImportFile::Outcome ImportFile::read(const QString &path, qint64 limit, ImportProgress *progress,
                                     QByteArray *bytes, QString *error)
{
    bytes->clear();
    // Not even opened when it is no regular file: opening some devices does something.
    struct stat info;
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return Outcome::NotRegular;
    const FileDescriptor file(
        ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        *error = qt_error_string(errno);
        return Outcome::Failed;
    }
    // What was opened is checked again: the name may have been given to another file meanwhile.
    if (::fstat(file.get(), &info) != 0) {
        *error = qt_error_string(errno);
        return Outcome::Failed;
    }
    if (!S_ISREG(info.st_mode))
        return Outcome::NotRegular;
    if (info.st_size > limit)
        return Outcome::TooLarge;
    // One byte past the limit tells a file that grew while it was read.
    QByteArray data(std::min<qint64>(info.st_size, limit) + 1, Qt::Uninitialized);
    qint64 got = 0;
    for (;;) {
        if (got == data.size()) {
            if (got > limit)
                return Outcome::TooLarge;
            data.resize(std::min<qint64>(2 * got, limit + 1));
        }
        const qint64 piece = std::min<qint64>(PieceSize, data.size() - got);
        const ssize_t n = ::read(file.get(), data.data() + got, static_cast<size_t>(piece));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = qt_error_string(errno);
            return Outcome::Failed;
        }
        if (n == 0)
            break;
        got += n;
        if (progress) {
            progress->advance(got);
            if (progress->cancelled())
                return Outcome::Cancelled;
        }
    }
    data.truncate(got);
    data.squeeze();
    *bytes = std::move(data);
    return Outcome::Read;
}

QByteArray ImportFile::folderIdentity(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return {};
    return QByteArray::number(static_cast<qulonglong>(info.st_dev)) + ':' +
           QByteArray::number(static_cast<qulonglong>(info.st_ino));
}
