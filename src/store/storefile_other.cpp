// StoreFile where there is no POSIX file interface: Qt's files, which cannot open without
// blocking, so only what Qt calls a regular file within the cap is opened at all.
#include "storefile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StoreFile", text);
}

} // namespace

QString StoreFile::refusal(const QString &path, Links links)
{
    const QString odd = links == Links::Refuse ? oddity(path) : QString();
    if (!odd.isEmpty() || !QFileInfo::exists(path))
        return odd;
    if (!QFileInfo(path).isFile())
        return tr("it is not a regular file");
    if (facts(path, links).size > StoreFile::sizeCap())
        return tr("it is larger than %1, the most Keyquill reads of one file").arg(capText());
    return {};
}

StoreFile::Read StoreFile::read(const QString &path, Links links, bool)
{
    Read result;
    result.facts = facts(path, links);
    if (result.facts.size < 0)
        return result;
    result.problem = refusal(path, links);
    if (!result.problem.isEmpty()) {
        result.outcome = Outcome::Refused;
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.outcome = Outcome::Failed;
        result.problem = file.errorString();
        return result;
    }
    result.bytes = file.read(StoreFile::sizeCap() + 1);
    result.outcome = facts(path, links) == result.facts && result.bytes.size() == result.facts.size
                         ? Outcome::Read
                         : Outcome::Changing;
    result.ageMs = QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTime());
    return result;
}

StoreFile::Facts StoreFile::facts(const QString &path, Links)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return {info.size(), info.lastModified().toMSecsSinceEpoch() * 1000000,
            info.metadataChangeTime().toMSecsSinceEpoch() * 1000000, 0, 0};
}

QString StoreFile::oddity(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {};
    if (info.isSymLink())
        return tr("it is a symbolic link, and links are not followed there");
    if (info.isDir())
        return tr("it is a folder");
    return info.isFile() ? QString() : tr("it is not a regular file");
}

StoreFile::Replaced StoreFile::replace(const QString &path, const QByteArray &bytes,
                                       const Facts &expected, Facts *facts)
{
    if (StoreFile::facts(path, Links::Refuse) != expected)
        return Replaced::Raced;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return Replaced::Failed;
    *facts = StoreFile::facts(path, Links::Refuse);
    return Replaced::Done;
}
