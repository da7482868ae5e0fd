#include "storewrite.h"

#include "damagedcopy.h"
#include "macrostore.h"
#include "storecheck.h"
#include "storefile.h"
#include "storemirror.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace {

// Set while a damaged store could not be copied aside: nothing may be written over it until it is.
bool s_copyOwed = false;

// How long a change waits for a whole read of a chosen folder's store that another program is
// writing, before it is refused.
constexpr int SaveBudgetMs = 3000;
// The settings layer waits for the store's lock without end when it can never be had (a
// directory in its place); a few seconds, then the change is refused.
constexpr int LockWaitMs = 3000;

QString tr(const char *text)
{
    return QCoreApplication::translate("StoreWrite", text);
}

QString keptBusy()
{
    return tr("another program kept it busy for %1 seconds").arg(SaveBudgetMs / 1000);
}

QString notWhole()
{
    return tr("what was written did not read back whole, so the file was left as it was; the "
              "disk may be full");
}

// The copy that could not be made at start, tried again before a change.
bool copyOwedNow(const QString &store)
{
    QFile file(store);
    QString path;
    s_copyOwed = !file.open(QIODevice::ReadOnly) ||
                 DamagedCopy::keep(store, file.readAll(), &path) == DamagedCopy::Outcome::Failed;
    return !s_copyOwed;
}

// Master macros the settings layer lists beside the store's own from its fallback files (of the
// organization, of the system; there are none as a rule).
bool fallbacksHoldMasters()
{
    const QString organization = QCoreApplication::organizationName();
    QSettings ofOrganization(QSettings::UserScope, organization);
    QSettings ofSystem(QSettings::SystemScope, organization, QCoreApplication::applicationName());
    for (QSettings *fallback : {&ofOrganization, &ofSystem}) {
        fallback->beginGroup(MacroStore::MasterMacrosGroup);
        if (!fallback->childGroups().isEmpty())
            return true;
    }
    return false;
}

} // namespace

StoreWrite::StoreWrite(const QStringList &groups, StoreMirror *mirror)
    : m_mirror(mirror), m_chosenFolder(mirror != nullptr)
{
    if (mirror) {
        m_fileName = mirror->file();
        lockMirroredStore();
        m_generation = mirror->generation();
        if (!m_refused)
            m_settings = mirror->settings();
    } else {
        m_settings = MacroStore::openSettings(QString());
        m_fileName = m_settings->fileName();
        if (!lockCanBeHad(m_fileName))
            refuse(tr("another program kept its lock for %1 seconds").arg(LockWaitMs / 1000));
        else if (s_copyOwed && !copyOwedNow(m_fileName))
            refuse(tr("it was found damaged and could not be copied aside, which must come "
                      "before anything is written over it"));
    }
    // A refused change goes to a settings object that can never be written, so that nothing of
    // it is left pending for the store (the settings layer would wait on the lock again).
    if (m_refused)
        m_settings = std::make_unique<QSettings>(refusedStorePath(), QSettings::IniFormat);
    for (const QString &group : groups)
        addGroup(group);
}

bool StoreWrite::refuse(const QString &why)
{
    m_refused = true;
    m_why = why;
    return false;
}

bool StoreWrite::lockMirroredStore()
{
    // A folder the user chose that is not there (a share not mounted, a sync folder moved) is
    // not made anew: the notes would go where no sync tool looks.
    const QString folder = QFileInfo(m_fileName).path();
    if (!QFileInfo(folder).isDir())
        return refuse(tr("the folder %1 is not there").arg(QDir::toNativeSeparators(folder)));
    // The lock file is opened and read by the lock itself, so it must be a plain file too.
    const QString lock = m_fileName + QStringLiteral(".lock");
    if (const QString oddity = StoreFile::oddity(lock); !oddity.isEmpty())
        return refuse(
            tr("its lock file %1 is in the way: %2").arg(QDir::toNativeSeparators(lock), oddity));
    m_lock = std::make_unique<QLockFile>(lock);
    if (!m_lock->tryLock(LockWaitMs))
        return refuse(tr("another program kept its lock for %1 seconds").arg(LockWaitMs / 1000));
    // The change is made on a whole read of the file as it is now.
    const bool whole = m_mirror->refresh(SaveBudgetMs);
    if (!m_mirror->problem().isEmpty())
        return refuse(m_mirror->problem());
    return whole || refuse(keptBusy());
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
    if (m_mirror)
        return commitToMirror();
    const Outcome outcome = writeAndCheck();
    if (outcome == Outcome::Refused)
        m_why = writeRefusal(m_fileName);
    else if (outcome == Outcome::Damaged)
        m_why = notWhole();
    // After a refused write the cache still holds the change; taking it back keeps what the
    // program reads equal to the disk. After a damaged write Qt's cache holds no pending change
    // and re-reads the restored file, so nothing is added that would be written again.
    if (outcome == Outcome::Refused)
        restoreSnapshot();
    return outcome == Outcome::Written;
}

bool StoreWrite::commitToMirror()
{
    const QList<QPair<QString, QVariant>> wanted = touched();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // The change goes into the mirror first: a new reading of the file that comes next is
        // then checked as what it is, not merged with a change pending for the mirror.
        m_settings->sync();
        if (m_settings->status() == QSettings::AccessError)
            return refuseInMirror(writeRefusal(m_settings->fileName()));
        const int left = SaveBudgetMs - int(clock.elapsed());
        const bool whole = left >= 0 && m_mirror->refresh(left);
        if (!m_mirror->problem().isEmpty())
            return refuseInMirror(m_mirror->problem());
        if (!whole)
            return refuseInMirror(keptBusy());
        if (m_mirror->generation() != m_generation) {
            // Another program wrote the file since the change began: the change again, on top of
            // what it wrote, the touched groups as the change left them.
            apply(wanted);
            m_generation = m_mirror->generation();
            m_settings->sync();
            if (m_settings->status() == QSettings::AccessError)
                return refuseInMirror(writeRefusal(m_settings->fileName()));
        }
        const QByteArray bytes = m_mirror->bytes();
        if (!StoreCheck::holdsKeys(bytes, *m_settings))
            return refuseInMirror(notWhole());
        switch (m_mirror->publish(bytes)) {
        case StoreFile::Replaced::Done:
            return true;
        case StoreFile::Replaced::Failed:
            return refuseInMirror(writeRefusal(m_fileName));
        case StoreFile::Replaced::Raced:
            break;
        }
    }
}

bool StoreWrite::refuseInMirror(const QString &why)
{
    m_why = why;
    // Nothing of the change may stay pending for the mirror, where a later change would carry it
    // to the file; the mirror is then read anew from the file.
    restoreSnapshot();
    m_settings->sync();
    m_mirror->discard();
    return false;
}

QList<QPair<QString, QVariant>> StoreWrite::touched()
{
    QList<QPair<QString, QVariant>> values;
    for (const QString &group : std::as_const(m_groups)) {
        m_settings->beginGroup(group);
        const QStringList keys = m_settings->allKeys();
        for (const QString &key : keys)
            values.append({group + QLatin1Char('/') + key, m_settings->value(key)});
        m_settings->endGroup();
    }
    return values;
}

void StoreWrite::apply(const QList<QPair<QString, QVariant>> &values)
{
    for (const QString &group : std::as_const(m_groups))
        m_settings->remove(group);
    for (const auto &[key, value] : values)
        m_settings->setValue(key, value);
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

QString StoreWrite::unusableNativeStore()
{
    // Where the settings layer looks, found without asking it (it would read the file).
    const QString name = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QLatin1Char('/') + QCoreApplication::organizationName() +
                         QLatin1Char('/') + QCoreApplication::applicationName() +
                         QStringLiteral(".conf");
    // Another user's file stays readable as ever; only what cannot be read as a file is refused.
    const QString target = QFileInfo(name).canonicalFilePath();
    QString problem = target.isEmpty() ? QString() : StoreFile::oddity(target);
    if (problem.isEmpty() &&
        StoreFile::facts(name, StoreFile::Links::Follow).size > StoreFile::sizeCap())
        problem = StoreFile::refusal(name, StoreFile::Links::Follow);
    if (problem.isEmpty())
        return {};
    return tr("The settings file %1 cannot be read: %2. Keyquill cannot start until it can.")
        .arg(QDir::toNativeSeparators(name), problem);
}

QString StoreWrite::prepareAtStart(QSettings &store, MacroStore::MasterList *listed)
{
    const QString name = store.fileName();
    prepareProcess(name);
    s_copyOwed = false;
    // Behind a link the user made, the file it points to is the one that is read; its copy goes
    // beside it, never where the link is.
    const QString real = writtenFile(name);
    QFile file(real);
    if (!file.exists())
        return {};
    const MacroStore::Stamp before = MacroStore::fileStamp(name);
    const bool readable = file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    std::optional<QStringList> masters;
    const QString found = readable ? StoreCheck::damage(bytes, store, listed ? &masters : nullptr)
                                   : tr("it cannot be read (%1)").arg(file.errorString());
    if (found.isEmpty()) {
        // Only a file that held still throughout was listed as the settings layer reads it.
        if (masters && MacroStore::fileStamp(name) == before && !fallbacksHoldMasters())
            *listed = {*masters, before};
        return {};
    }
    QString copy;
    const DamagedCopy::Outcome outcome =
        readable ? DamagedCopy::keep(real, bytes, &copy) : DamagedCopy::Outcome::Failed;
    s_copyOwed = outcome == DamagedCopy::Outcome::Failed;
    if (outcome == DamagedCopy::Outcome::Existed)
        return {};
    return DamagedCopy::message(name, found, outcome, copy);
}
