#include "storewrite.h"

#include "macrostore.h"
#include "storecheck.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Set while a damaged store could not be copied aside: nothing may be written over it until it is.
bool s_copyOwed = false;

enum class Copy { Made, Existed, Failed };

QString tr(const char *text)
{
    return QCoreApplication::translate("StoreWrite", text);
}

// Once: a copy of these very bytes means the user was told already. `path` gets the copy's name.
Copy copyAside(const QString &store, const QByteArray &bytes, QString *path)
{
    const QFileInfo info(store);
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");
    const QFileInfoList copies =
        info.dir().entryInfoList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QFileInfo &copy : copies) {
        QFile earlier(copy.filePath());
        if (copy.size() == bytes.size() && earlier.open(QIODevice::ReadOnly) &&
            earlier.readAll() == bytes)
            return Copy::Existed;
    }
    const QString stem = info.dir().filePath(prefix + QDate::currentDate().toString(Qt::ISODate));
    *path = stem;
    for (int i = 2; QFileInfo::exists(*path); ++i)
        *path = stem + QLatin1Char('-') + QString::number(i);
    QFile copy(*path);
    // Unbuffered, so that a full disk shows in write(); for the owner only, like the store.
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                   QFile::ReadOwner | QFile::WriteOwner))
        return Copy::Failed;
    if (copy.write(bytes) == bytes.size())
        return Copy::Made;
    copy.remove();
    return Copy::Failed;
}

// The copy that could not be made at start, tried again before a change.
bool copyOwedNow(const QString &store)
{
    QFile file(store);
    QString path;
    s_copyOwed =
        !file.open(QIODevice::ReadOnly) || copyAside(store, file.readAll(), &path) == Copy::Failed;
    return !s_copyOwed;
}

} // namespace

StoreWrite::StoreWrite(const QStringList &groups, const QString &file)
    : m_settings(MacroStore::openSettings(file)), m_fileName(m_settings->fileName()),
      m_chosenFolder(!file.isEmpty())
{
    // A folder the user chose that is not there (a share not mounted, a sync folder moved) is
    // not made anew: the notes would go where no sync tool looks.
    m_refused = (m_chosenFolder && !QFileInfo(QFileInfo(m_fileName).path()).isDir()) ||
                !lockCanBeHad(m_fileName) || (s_copyOwed && !copyOwedNow(m_fileName));
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

bool StoreWrite::fileHoldsStore(const QString &file)
{
    QFile written(file);
    return written.open(QIODevice::ReadOnly) &&
           StoreCheck::holdsKeys(written.readAll(), *m_settings);
}

void StoreWrite::restoreSnapshot()
{
    for (const QString &group : std::as_const(m_groups))
        m_settings->remove(group);
    for (const auto &[key, value] : std::as_const(m_snapshot))
        m_settings->setValue(key, value);
}

QString StoreWrite::prepareAtStart(QSettings &store)
{
    const QString name = store.fileName();
    prepareProcess(name);
    s_copyOwed = false;
    QFile file(name);
    if (!file.exists())
        return {};
    const bool readable = file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    const QString found = readable ? StoreCheck::damage(bytes, store)
                                   : tr("it cannot be read (%1)").arg(file.errorString());
    if (found.isEmpty())
        return {};
    QString copy;
    const Copy outcome = readable ? copyAside(name, bytes, &copy) : Copy::Failed;
    s_copyOwed = outcome == Copy::Failed;
    if (outcome == Copy::Existed)
        return {};
    const QString what = tr("The macro store %1 could not be read in full: %2.")
                             .arg(QDir::toNativeSeparators(name), found);
    if (outcome == Copy::Made)
        return what + QLatin1Char(' ') +
               tr("A copy of it as it was is kept in %1; Keyquill goes on with what could be read.")
                   .arg(QDir::toNativeSeparators(copy));
    return what + QLatin1Char(' ') +
           tr("No copy of it could be kept in %1, so Keyquill changes nothing in it until one can "
              "be made.")
               .arg(QDir::toNativeSeparators(QFileInfo(name).path()));
}
