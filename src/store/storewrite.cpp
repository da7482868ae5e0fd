#include "storewrite.h"

#include "macrostore.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#ifdef Q_OS_UNIX
#include <cstdio>
#include <unistd.h>
#endif

namespace {

QAtomicInt checkCounter;

// Values as text: a file read back gives strings where the cache may still hold integers.
QMap<QString, QString> keysOf(QSettings &settings)
{
    QMap<QString, QString> map;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        map.insert(key, settings.value(key).toString());
    return map;
}

} // namespace

StoreWrite::StoreWrite(const QStringList &groups) : m_groups(groups)
{
    for (const QString &group : groups)
        takeSnapshot(group);
}

void StoreWrite::addGroup(const QString &group)
{
    m_groups.append(group);
    takeSnapshot(group);
}

void StoreWrite::takeSnapshot(const QString &group)
{
    m_settings.beginGroup(group);
    const QStringList keys = m_settings.allKeys();
    for (const QString &key : keys)
        m_snapshot.append({group + QLatin1Char('/') + key, m_settings.value(key)});
    m_settings.endGroup();
}

StoreWrite::~StoreWrite() = default;

QString StoreWrite::groupPath(const QString &master)
{
    return MacroStore::MasterMacrosGroup + QLatin1Char('/') + master;
}

QString StoreWrite::groupPath(const QString &master, const QString &note)
{
    return groupPath(master) + QLatin1Char('/') + MacroStore::MacrosGroup + QLatin1Char('/') + note;
}

void StoreWrite::copyGroup(const QString &from, const QString &to)
{
    m_settings.beginGroup(from);
    const QStringList keys = m_settings.allKeys();
    QList<QPair<QString, QVariant>> values;
    values.reserve(keys.size());
    for (const QString &key : keys)
        values.append({key, m_settings.value(key, QString())});
    m_settings.endGroup();
    m_settings.beginGroup(to);
    for (const auto &[key, value] : std::as_const(values))
        m_settings.setValue(key, value);
    m_settings.endGroup();
}

bool StoreWrite::commit()
{
    while (!m_settings.group().isEmpty())
        m_settings.endGroup();

    const QString file = m_settings.fileName();
    const QString keep = file + QStringLiteral(".keep");
    bool kept = false;
#ifdef Q_OS_UNIX
    // A second name for the present file: it survives Qt's rename and can be put back at no cost
    // in disk space.
    const QByteArray fileBytes = QFile::encodeName(file);
    const QByteArray keepBytes = QFile::encodeName(keep);
    ::unlink(keepBytes.constData());
    kept = ::link(fileBytes.constData(), keepBytes.constData()) == 0;
#endif
    const bool existed = kept || QFileInfo::exists(file);

    // The store is otherwise left to write itself when its objects go; syncing here is the only
    // way to learn whether the disk took the change while the user can still be told.
    m_settings.sync();
    bool ok = m_settings.status() == QSettings::NoError;
    const bool damaged = ok && !fileMatchesStore();
    if (damaged)
        ok = false;

#ifdef Q_OS_UNIX
    if (kept) {
        if (damaged)
            ::rename(keepBytes.constData(), fileBytes.constData());
        else
            ::unlink(keepBytes.constData());
    } else if (damaged && !existed) {
        ::unlink(fileBytes.constData());
    }
#endif

    // After a refused write the cache still holds the change; taking it back keeps what the
    // program reads equal to the disk. After a damaged write Qt's cache holds no pending change
    // and re-reads the restored file, so nothing is added that would be written again.
    if (!ok && !damaged)
        restoreSnapshot();
    return ok;
}

bool StoreWrite::fileMatchesStore()
{
    const QString file = m_settings.fileName();
#ifdef Q_OS_UNIX
    // Qt caches settings files by path: a second name makes it parse what is on disk.
    const QString check = QStringLiteral("%1.check-%2-%3")
                              .arg(file)
                              .arg(QCoreApplication::applicationPid())
                              .arg(checkCounter.fetchAndAddRelaxed(1));
    const QByteArray checkBytes = QFile::encodeName(check);
    if (::link(QFile::encodeName(file).constData(), checkBytes.constData()) != 0)
        return true; // no second name on this file system: nothing to compare with
    bool same;
    {
        QSettings onDisk(check, QSettings::IniFormat);
        // Compared with this object's view, not a new object's: a new one would re-read the
        // file when Qt wrote it empty, and so agree with the damage.
        m_settings.setFallbacksEnabled(false);
        same = onDisk.status() == QSettings::NoError && keysOf(onDisk) == keysOf(m_settings);
        m_settings.setFallbacksEnabled(true);
    }
    ::unlink(checkBytes.constData());
    return same;
#else
    return QFileInfo::exists(file);
#endif
}

void StoreWrite::restoreSnapshot()
{
    for (const QString &group : std::as_const(m_groups))
        m_settings.remove(group);
    for (const auto &[key, value] : std::as_const(m_snapshot))
        m_settings.setValue(key, value);
}
