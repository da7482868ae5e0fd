#include "damagedcopy.h"

#include "storefile.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace DamagedCopy {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StoreWrite", text);
}

} // namespace

Outcome keep(const QString &store, const QByteArray &bytes, QString *path)
{
    const QFileInfo info(store);
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");
    const QStringList copies =
        info.dir().entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QString &name : copies) {
        const QString copy = info.dir().filePath(name);
        if (StoreFile::facts(copy, StoreFile::Links::Refuse).size != bytes.size())
            continue;
        const StoreFile::Read earlier = StoreFile::read(copy, StoreFile::Links::Refuse);
        if (earlier.outcome == StoreFile::Outcome::Read && earlier.bytes == bytes)
            return Outcome::Existed;
    }
    const QString stem = info.dir().filePath(prefix + QDate::currentDate().toString(Qt::ISODate));
    *path = stem;
    for (int i = 2; QFileInfo::exists(*path) || QFileInfo(*path).isSymLink(); ++i)
        *path = stem + QLatin1Char('-') + QString::number(i);
    QFile copy(*path);
    // Unbuffered, so that a full disk shows in write(); for the owner only, like the store. A new
    // file only: a link planted under that name is not followed.
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                   QFile::ReadOwner | QFile::WriteOwner))
        return Outcome::Failed;
    if (copy.write(bytes) == bytes.size())
        return Outcome::Made;
    copy.remove();
    return Outcome::Failed;
}

QString message(const QString &store, const QString &found, Outcome outcome, const QString &copy)
{
    const QString what = tr("The macro store %1 could not be read in full: %2.")
                             .arg(QDir::toNativeSeparators(store), found);
    if (outcome == Outcome::Made)
        return what + QLatin1Char(' ') +
               tr("A copy of it as it was is kept in %1; Keyquill goes on with what could be read.")
                   .arg(QDir::toNativeSeparators(copy));
    return what + QLatin1Char(' ') +
           tr("No copy of it could be kept in %1, so Keyquill changes nothing in it until one can "
              "be made.")
               .arg(QDir::toNativeSeparators(QFileInfo(store).path()));
}

} // namespace DamagedCopy
