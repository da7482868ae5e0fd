// ImportFile where there is no POSIX open(2): Qt's file information decides what is a regular
// file, and a folder is known by its path with every link resolved.
#include "importfile.h"

#include "importprogress.h"

#include <algorithm>
#include <QFile>
#include <QFileInfo>

ImportFile::Outcome ImportFile::read(const QString &path, qint64 limit, ImportProgress *progress,
                                     QByteArray *bytes, QString *error)
{
    bytes->clear();
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Outcome::NotRegular;
    if (info.size() > limit)
        return Outcome::TooLarge;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return Outcome::Failed;
    }
    QByteArray data;
    while (!file.atEnd()) {
        const QByteArray piece = file.read(std::min<qint64>(PieceSize, limit + 1 - data.size()));
        if (piece.isEmpty() && file.error() != QFileDevice::NoError) {
            *error = file.errorString();
            return Outcome::Failed;
        }
        data += piece;
        if (data.size() > limit)
            return Outcome::TooLarge;
        if (progress) {
            progress->advance(data.size());
            if (progress->cancelled())
                return Outcome::Cancelled;
        }
        if (piece.isEmpty())
            break;
    }
    *bytes = std::move(data);
    return Outcome::Read;
}

QByteArray ImportFile::folderIdentity(const QString &path)
{
    return QFileInfo(path).canonicalFilePath().toUtf8();
}
