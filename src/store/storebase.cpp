#include "storebase.h"

#include <algorithm>
#include <cstdio>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr quint32 KnownMagic = 0x4b51424b;
constexpr quint32 SaveMagic = 0x4b514253;
constexpr auto StreamVersion = QDataStream::Qt_6_0;
// How many versions back a conflict copy can be placed, and how many of this machine's versions
// that lost to another's wait to come back as copies.
constexpr qsizetype MaxSteps = 16;
constexpr qsizetype MaxLost = 4;
// The files are this program's own, in the user's private folder; a larger one is no longer
// what it wrote, and is not read.
constexpr qint64 MaxFileBytes = qint64(512) << 20;

const QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QDataStream &operator<<(QDataStream &out, const StoreFile::Facts &facts)
{
    return out << facts.size << facts.modifiedNs << facts.changedNs << facts.inode << facts.device;
}

QDataStream &operator>>(QDataStream &in, StoreFile::Facts &facts)
{
    return in >> facts.size >> facts.modifiedNs >> facts.changedNs >> facts.inode >> facts.device;
}

bool contradicts(const StorePrints::Version &other, const QList<StorePrints::Change> &changes)
{
    // `other` still holds what the changes replaced: it was made without them.
    return std::any_of(changes.cbegin(), changes.cend(), [&](const StorePrints::Change &change) {
        return change.before != change.after &&
               StorePrints::at(other, change.master, change.note) == change.before;
    });
}

StoreFile::Facts factsOf(const QString &path)
{
    return StoreFile::facts(path, StoreFile::Links::Refuse);
}

} // namespace

StoreBase::StoreBase(const QString &storeFile, const QString &keptIn)
    : m_storeFile(QFileInfo(storeFile).absoluteFilePath())
{
    // Named after the store's folder, so that no two folders share one.
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(m_storeFile.toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(16));
    QDir().mkpath(keptIn);
    QFile::setPermissions(keptIn, OwnerOnly | QFileDevice::ExeOwner);
    m_knownPath = QDir(keptIn).filePath(name + QStringLiteral(".base"));
    m_savesPath = QDir(keptIn).filePath(name + QStringLiteral(".saves"));
}

StoreBase::~StoreBase() = default;

void StoreBase::read(const StoreFile::Facts &facts,
                     const std::function<StorePrints::Version()> &version)
{
    load(false);
    if (m_known && facts == m_last)
        return;
    load(true);
    if (facts.size < 0) {
        // No store yet: where nothing is known either, both sides start from nothing.
        if (!m_known) {
            m_known = m_whole = true;
            m_last = facts;
            saveKnown();
        }
        return;
    }
    const StorePrints::Version now = version();
    m_last = facts;
    if (!m_known || StorePrints::digest(now) == m_mineDigest) {
        if (m_known) {
            appendSave({facts.modifiedNs, {}});
            return;
        }
        // The first reading: nothing before it is known, not even whether another machine
        // holds it (it may be this machine's own, from before what was known here was lost).
        m_known = m_whole = true;
        m_shared = now;
        m_steps.clear();
        m_saves.clear();
        m_lost.clear();
        m_mine = now;
        m_mineDigest = StorePrints::digest(now);
        saveKnown();
        return;
    }
    // Another machine's version: what it holds of this machine's changes was held there too.
    const qsizetype had = held(now, m_saves);
    StorePrints::Version common = m_shared;
    for (qsizetype i = 0; i < had; ++i)
        StorePrints::apply(common, m_saves.at(i).changes);
    if (had < m_saves.size()) {
        // It was made without the rest of them: the sync tool keeps this machine's version in a
        // conflict copy, to be merged against what the two had in common.
        m_lost.append({m_mineDigest, StorePrints::changes(common, m_mine)});
        while (m_lost.size() > MaxLost)
            m_lost.removeFirst();
    }
    if (had > 0)
        pushStep(StorePrints::changes(m_shared, common), m_saves.at(had - 1).modifiedNs);
    pushStep(StorePrints::changes(common, now), facts.modifiedNs);
    m_shared = now;
    m_saves.clear();
    m_mine = now;
    m_mineDigest = StorePrints::digest(now);
    saveKnown();
}

void StoreBase::wrote(const StoreFile::Facts &facts, const StorePrints::Version &now,
                      const QStringList &masters)
{
    load(true);
    // Nothing known to build on: the next reading starts afresh.
    if (!m_known)
        return;
    QList<StorePrints::Change> changes;
    for (auto master = now.cbegin(); master != now.cend(); ++master) {
        if (masters.contains(master.key()))
            continue;
        for (auto note = master->cbegin(); note != master->cend(); ++note) {
            const quint64 before = StorePrints::at(m_mine, master.key(), note.key());
            if (before != note.value())
                changes.append({master.key(), note.key(), before, note.value()});
        }
    }
    for (const QString &master : masters) {
        const StorePrints::Notes was = m_mine.value(master);
        const StorePrints::Notes is = now.value(master);
        for (auto note = was.cbegin(); note != was.cend(); ++note)
            if (is.value(note.key(), StorePrints::Absent) != note.value())
                changes.append(
                    {master, note.key(), note.value(), is.value(note.key(), StorePrints::Absent)});
        for (auto note = is.cbegin(); note != is.cend(); ++note)
            if (!was.contains(note.key()))
                changes.append({master, note.key(), StorePrints::Absent, note.value()});
    }
    for (const StorePrints::Change &change : std::as_const(changes))
        m_mineDigest += StorePrints::term(change.master, change.note, change.after) -
                        StorePrints::term(change.master, change.note, change.before);
    StorePrints::apply(m_mine, changes);
    m_last = facts;
    appendSave({facts.modifiedNs, changes});
}

std::optional<StorePrints::Version> StoreBase::baseFor(const StorePrints::Version &other,
                                                       qint64 modifiedNs)
{
    load(true);
    if (!m_known)
        return std::nullopt;
    const quint64 digest = StorePrints::digest(other);
    for (auto lost = m_lost.crbegin(); lost != m_lost.crend(); ++lost)
        if (lost->digest == digest) {
            StorePrints::Version base = other;
            StorePrints::apply(base, lost->changes, false);
            return base;
        }
    // The versions that led to the shared one, from the oldest: `other` was made on those it
    // shows it holds.
    const qsizetype steps = held(other, m_steps, modifiedNs);
    StorePrints::Version base = m_shared;
    if (steps < m_steps.size()) {
        // Older than any version known here: nothing to merge against.
        if (steps == 0)
            return std::nullopt;
        for (qsizetype i = m_steps.size() - 1; i >= steps; --i)
            StorePrints::apply(base, m_steps.at(i).changes, false);
        return base;
    }
    const qsizetype saves = held(other, m_saves);
    // Nothing known but an empty store, and none of this machine's changes since shown in
    // `other`: nothing says `other` was made on it.
    if (saves == 0 && m_steps.isEmpty())
        return std::nullopt;
    for (qsizetype i = 0; i < saves; ++i)
        StorePrints::apply(base, m_saves.at(i).changes);
    return base;
}

qsizetype StoreBase::held(const StorePrints::Version &other, const QList<Step> &steps,
                          qint64 untilNs)
{
    // Up to the last step `other` shows it holds (a note with a text or hot key as the step left
    // it), before any it shows it lacks or that led to a version written after it. A new, empty
    // note or a master macro alone shows nothing: another machine may have made one alike.
    qsizetype held = 0;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QList<StorePrints::Change> &changes = steps.at(i).changes;
        if (steps.at(i).modifiedNs > untilNs || contradicts(other, changes))
            return held;
        const bool shown =
            std::any_of(changes.cbegin(), changes.cend(), [&](const StorePrints::Change &change) {
                return !change.note.isEmpty() && change.after != StorePrints::Absent &&
                       change.after != StorePrints::empty() &&
                       StorePrints::at(other, change.master, change.note) == change.after;
            });
        if (shown)
            held = i + 1;
    }
    return held;
}

void StoreBase::pushStep(const QList<StorePrints::Change> &changes, qint64 modifiedNs)
{
    if (changes.isEmpty())
        return;
    m_steps.append({modifiedNs, changes});
    while (m_steps.size() > MaxSteps)
        m_steps.removeFirst();
}

void StoreBase::load(bool whole)
{
    const StoreFile::Facts known = factsOf(m_knownPath);
    const StoreFile::Facts saves = factsOf(m_savesPath);
    if (known != m_knownFacts || saves != m_savesFacts) {
        // Written by another object over the same store since (or never read): read anew.
        m_knownFacts = known;
        m_savesFacts = saves;
        m_whole = false;
        m_known = readKnown(false) && readSaves();
    }
    if (whole && m_known && !m_whole) {
        // The versions only when asked for: a start that finds the store as this machine left
        // it needs none of them.
        m_whole = readKnown(true);
        m_known = m_whole;
        m_mine = m_shared;
        for (const Step &save : std::as_const(m_saves))
            StorePrints::apply(m_mine, save.changes);
        m_mineDigest = StorePrints::digest(m_mine);
    }
}

bool StoreBase::readKnown(bool whole)
{
    m_shared.clear();
    m_steps.clear();
    m_lost.clear();
    QFile file(m_knownPath);
    if (m_knownFacts.size > MaxFileBytes || !file.open(QIODevice::ReadOnly))
        return false;
    QDataStream in(&file);
    in.setVersion(StreamVersion);
    quint32 magic = 0;
    QString storeFile;
    StoreFile::Facts last;
    in >> magic >> storeFile >> last;
    if (magic != KnownMagic || storeFile != m_storeFile || in.status() != QDataStream::Ok)
        return false;
    if (!whole) {
        m_last = last;
        return true;
    }
    qint64 steps = 0;
    in >> m_shared >> steps;
    for (qint64 i = 0; i < steps && in.status() == QDataStream::Ok; ++i) {
        Step step;
        in >> step.modifiedNs >> step.changes;
        m_steps.append(step);
    }
    qint64 lost = 0;
    in >> lost;
    for (qint64 i = 0; i < lost && in.status() == QDataStream::Ok; ++i) {
        Lost version;
        in >> version.digest >> version.changes;
        m_lost.append(version);
    }
    if (in.status() == QDataStream::Ok)
        return true;
    m_shared.clear();
    m_steps.clear();
    m_lost.clear();
    return false;
}

bool StoreBase::readSaves()
{
    m_saves.clear();
    QFile file(m_savesPath);
    if (m_savesFacts.size > MaxFileBytes || !file.open(QIODevice::ReadOnly))
        return true;
    // One record per save; a record cut off (the program ended while adding it) and what
    // follows it are left out.
    QDataStream records(&file);
    records.setVersion(StreamVersion);
    for (;;) {
        QByteArray bytes;
        records >> bytes;
        if (records.status() != QDataStream::Ok)
            return true;
        QDataStream record(bytes);
        record.setVersion(StreamVersion);
        quint32 magic = 0;
        Step save;
        StoreFile::Facts facts;
        record >> magic >> facts >> save.modifiedNs >> save.changes;
        if (magic != SaveMagic || record.status() != QDataStream::Ok)
            return true;
        m_last = facts;
        if (!save.changes.isEmpty())
            m_saves.append(save);
    }
}

void StoreBase::saveKnown()
{
    // Replaced by a rename, but not flushed to the disk: after a crash a version cut off reads as
    // none (the merge then asks about every difference, as with no base), and a saving of the
    // store is not held up.
    const QString next = m_knownPath + QStringLiteral(".new");
    QFile file(next);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.setPermissions(OwnerOnly);
    QDataStream out(&file);
    out.setVersion(StreamVersion);
    out << KnownMagic << m_storeFile << m_last << m_shared << qint64(m_steps.size());
    for (const Step &step : std::as_const(m_steps))
        out << step.modifiedNs << step.changes;
    out << qint64(m_lost.size());
    for (const Lost &lost : std::as_const(m_lost))
        out << lost.digest << lost.changes;
    file.close();
    if (out.status() != QDataStream::Ok || file.error() != QFileDevice::NoError ||
        std::rename(QFile::encodeName(next).constData(),
                    QFile::encodeName(m_knownPath).constData()) != 0) {
        QFile::remove(next);
        return;
    }
    // What was saved since is in it now.
    QFile::remove(m_savesPath);
    m_knownFacts = factsOf(m_knownPath);
    m_savesFacts = factsOf(m_savesPath);
}

void StoreBase::appendSave(const Step &save)
{
    QByteArray bytes;
    QDataStream record(&bytes, QIODevice::WriteOnly);
    record.setVersion(StreamVersion);
    record << SaveMagic << m_last << save.modifiedNs << save.changes;
    if (!save.changes.isEmpty())
        m_saves.append(save);
    QFile file(m_savesPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.setPermissions(OwnerOnly);
    QDataStream out(&file);
    out.setVersion(StreamVersion);
    out << bytes;
    file.close();
    m_savesFacts = factsOf(m_savesPath);
}
