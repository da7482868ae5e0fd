#include "storewrite.h"

#include "macrostore.h"

#include <algorithm>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Same keys, same values as text: a file read back gives strings where the cache may still hold
// integers. Both are INI files of the settings layer, so their keys come in the same order.
bool sameKeysAndValues(QSettings &one, QSettings &other)
{
    const QStringList keys = one.allKeys();
    if (keys != other.allKeys())
        return false;
    return std::all_of(keys.cbegin(), keys.cend(), [&](const QString &key) {
        return one.value(key).toString() == other.value(key).toString();
    });
}

} // namespace

StoreWrite::StoreWrite(const QStringList &groups)
    : m_settings(std::make_unique<QSettings>()), m_fileName(m_settings->fileName())
{
    m_refused = !lockCanBeHad(m_fileName);
    // A refused change goes to a settings object that can never be written, so that nothing of
    // it is left pending for the store (the settings layer would wait on the lock again).
    if (m_refused)
        m_settings = std::make_unique<QSettings>(refusedStorePath(), QSettings::IniFormat);
    for (const QString &group : groups)
        addGroup(group);
}

void StoreWrite::addGroup(const QString &group)
{
    m_groups.append(group);
    takeSnapshot(group);
}

void StoreWrite::takeSnapshot(const QString &group)
{
    m_settings->beginGroup(group);
    const QStringList keys = m_settings->allKeys();
    for (const QString &key : keys)
        m_snapshot.append({group + QLatin1Char('/') + key, m_settings->value(key)});
    m_settings->endGroup();
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
    m_settings->beginGroup(from);
    const QStringList keys = m_settings->allKeys();
    QList<QPair<QString, QVariant>> values;
    values.reserve(keys.size());
    for (const QString &key : keys)
        values.append({key, m_settings->value(key, QString())});
    m_settings->endGroup();
    m_settings->beginGroup(to);
    for (const auto &[key, value] : std::as_const(values))
        m_settings->setValue(key, value);
    m_settings->endGroup();
}

bool StoreWrite::commit()
{
    while (!m_settings->group().isEmpty())
        m_settings->endGroup();
    if (m_refused)
        return false;
    const Outcome outcome = writeAndCheck();
    // After a refused write the cache still holds the change; taking it back keeps what the
    // program reads equal to the disk. After a damaged write Qt's cache holds no pending change
    // and re-reads the restored file, so nothing is added that would be written again.
    if (outcome == Outcome::Refused)
        restoreSnapshot();
    return outcome == Outcome::Written;
}

bool StoreWrite::fileMatchesStore(const QString &check)
{
    QSettings onDisk(check, QSettings::IniFormat);
    // Compared with this object's view, not a new object's: a new one would re-read the file
    // when Qt wrote it empty, and so agree with the damage.
    m_settings->setFallbacksEnabled(false);
    const bool same =
        onDisk.status() == QSettings::NoError && sameKeysAndValues(onDisk, *m_settings);
    m_settings->setFallbacksEnabled(true);
    return same;
}

void StoreWrite::restoreSnapshot()
{
    for (const QString &group : std::as_const(m_groups))
        m_settings->remove(group);
    for (const auto &[key, value] : std::as_const(m_snapshot))
        m_settings->setValue(key, value);
}

QString StoreWrite::prepareAtStart()
{
    const QSettings store;
    prepareProcess(store.fileName());
    if (store.status() != QSettings::FormatError)
        return {};
    QFile file(store.fileName());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    // Once: a copy of these very bytes means the user was told already.
    const QFileInfo info(store.fileName());
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");
    const QFileInfoList copies =
        info.dir().entryInfoList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QFileInfo &copy : copies) {
        QFile earlier(copy.filePath());
        if (copy.size() == bytes.size() && earlier.open(QIODevice::ReadOnly) &&
            earlier.readAll() == bytes)
            return {};
    }
    const QString stem =
        info.filePath() + QStringLiteral(".damaged-") + QDate::currentDate().toString(Qt::ISODate);
    QString name = stem;
    for (int i = 2; QFileInfo::exists(name); ++i)
        name = stem + QLatin1Char('-') + QString::number(i);
    return file.copy(name) ? name : QString();
}
