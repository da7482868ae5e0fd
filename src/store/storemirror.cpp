#include "storemirror.h"

#include "store/damagedcopy.h"
#include "store/storecheck.h"

#include <algorithm>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

namespace {

// A file changed less than this ago may be in the hands of a writer that truncated it and has not
// written it all yet: it is trusted only once it held still over a pause, and never while it is
// empty or reads as damaged (a writer part way through) unless it grew older than this.
constexpr qint64 YoungMs = 1000;
constexpr int PauseMs = 25;

QString tr(const char *text)
{
    return QCoreApplication::translate("StoreMirror", text);
}

// The user's runtime folder (Qt makes sure it is theirs alone), else the temporary folder, where
// the mirror's own folder is made for the owner only.
QString privateFolder()
{
    const QString runtime = qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")
                                ? QString()
                                : QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

} // namespace

StoreMirror::StoreMirror(const QString &file, Role role)
    : m_file(file), m_role(role), m_dir(std::make_unique<QTemporaryDir>(
                                      privateFolder() + QStringLiteral("/keyquill-mirror-XXXXXX")))
{
    if (m_dir->isValid()) {
        m_path = m_dir->filePath(QStringLiteral("store.conf"));
        load({});
    }
    m_keeper = settings();
}

StoreMirror::~StoreMirror() = default;

std::unique_ptr<QSettings> StoreMirror::settings() const
{
    // Below a device file where no mirror could be made: the settings layer fails at once.
    return std::make_unique<QSettings>(
        m_path.isEmpty() ? QStringLiteral("/dev/null/mirror.conf") : m_path, QSettings::IniFormat);
}

QByteArray StoreMirror::bytes() const
{
    QFile mirror(m_path);
    return mirror.open(QIODevice::ReadOnly) ? mirror.readAll() : QByteArray();
}

bool StoreMirror::refresh(int budgetMs)
{
    const StoreFile::Links links = StoreFile::Links::Refuse;
    // A conflict copy is read whole once: what is brought in is what was asked about.
    if (m_role == Role::Copy && m_looked && m_whole)
        return true;
    // A look that gave no whole read is repeated after a pause, not at every call.
    if (m_looked && StoreFile::facts(m_file, links) == m_seen &&
        (m_whole || m_lookedAt.elapsed() < PauseMs))
        return m_whole;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const StoreFile::Read read = StoreFile::read(m_file, links, m_role == Role::Store);
        m_looked = true;
        m_lookedAt.start();
        m_seen = read.facts;
        switch (read.outcome) {
        case StoreFile::Outcome::Missing:
            return take(read);
        case StoreFile::Outcome::Refused:
        case StoreFile::Outcome::Failed:
            refuse(read);
            return false;
        case StoreFile::Outcome::Changing:
            break;
        case StoreFile::Outcome::Read:
            // A time ahead of this clock (another machine's, kept by the sync tool): nothing to
            // judge by.
            if (read.ageMs >= YoungMs || read.ageMs < 0)
                return take(read);
            if (!read.bytes.isEmpty() && StoreCheck::byteDamage(read.bytes).isEmpty()) {
                QThread::msleep(PauseMs);
                const StoreFile::Read again = StoreFile::read(m_file, links);
                if (again.outcome == StoreFile::Outcome::Read && again.facts == read.facts &&
                    again.bytes == read.bytes)
                    return take(read);
            }
            break;
        }
        if (clock.elapsed() + PauseMs > budgetMs) {
            m_whole = false;
            m_problem = tr("it was being written by another program the whole time");
            return false;
        }
        QThread::msleep(PauseMs);
    }
}

bool StoreMirror::take(const StoreFile::Read &read)
{
    m_whole = true;
    m_problem.clear();
    m_told.clear();
    if (read.facts == m_facts && m_generation > 0)
        return true;
    load(StoreCheck::withoutMark(read.bytes));
    m_facts = read.facts;
    ++m_generation;
    checkDamage(read.bytes);
    if (m_onRead && m_damage.isEmpty() && m_problem.isEmpty())
        m_onRead();
    return m_problem.isEmpty();
}

void StoreMirror::load(const QByteArray &bytes)
{
    QFile mirror(m_path);
    const qint64 before = QFileInfo(m_path).lastModified().toMSecsSinceEpoch();
    const bool written = mirror.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         mirror.write(bytes) == bytes.size();
    // The settings layer knows a file by its size and its modification time to the millisecond:
    // a later time for every new content, so that new bytes of the old size are read anew.
    m_stampMs = std::max({QDateTime::currentMSecsSinceEpoch(), before + 1, m_stampMs + 1});
    if (!written || !mirror.setFileTime(QDateTime::fromMSecsSinceEpoch(m_stampMs),
                                        QFileDevice::FileModificationTime)) {
        m_whole = false;
        m_problem = tr("its private copy %1 cannot be written (%2)")
                        .arg(QDir::toNativeSeparators(m_path), mirror.errorString());
    }
}

void StoreMirror::checkDamage(const QByteArray &bytes)
{
    m_damage.clear();
    m_copyOwed = false;
    if (bytes.isEmpty())
        return;
    m_damage = StoreCheck::damage(bytes, *settings());
    if (m_damage.isEmpty() || m_role == Role::Copy)
        return;
    // As at start: before anything is written over what the settings layer could not read.
    QString copy;
    const DamagedCopy::Outcome outcome = DamagedCopy::keep(m_file, bytes, &copy);
    m_copyOwed = outcome == DamagedCopy::Outcome::Failed;
    if (outcome != DamagedCopy::Outcome::Existed)
        m_news = DamagedCopy::message(m_file, m_damage, outcome, copy);
}

void StoreMirror::refuse(const StoreFile::Read &read)
{
    m_whole = false;
    m_problem = read.problem;
    if (m_role == Role::Store && m_problem != m_told) {
        m_told = m_problem;
        m_news = tr("The macro store %1 cannot be read: %2. Keyquill changes nothing in it until "
                    "it can.")
                     .arg(QDir::toNativeSeparators(m_file), m_problem);
    }
}

QString StoreMirror::problem()
{
    if (!m_problem.isEmpty())
        return m_problem;
    if (m_copyOwed) {
        const StoreFile::Read read = StoreFile::read(m_file, StoreFile::Links::Refuse);
        QString copy;
        m_copyOwed = read.outcome != StoreFile::Outcome::Read || read.facts != m_facts ||
                     DamagedCopy::keep(m_file, read.bytes, &copy) == DamagedCopy::Outcome::Failed;
    }
    return m_copyOwed ? tr("no copy of it as it was could be kept beside it") : QString();
}

StoreFile::Replaced StoreMirror::publish(const QByteArray &bytes)
{
    StoreFile::Facts written;
    const StoreFile::Replaced outcome = StoreFile::replace(m_file, bytes, m_facts, &written);
    if (outcome == StoreFile::Replaced::Done) {
        m_facts = m_seen = written;
        m_damage.clear();
        ++m_generation;
    } else {
        // The mirror holds what the file does not: it is read anew at the next look.
        discard();
    }
    return outcome;
}

void StoreMirror::discard()
{
    m_looked = false;
    m_facts = StoreFile::Facts();
    m_facts.size = -2; // no file has these facts
}
