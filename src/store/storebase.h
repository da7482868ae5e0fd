#pragma once

#include "store/storefile.h"
#include "store/storeprints.h"

#include <functional>
#include <limits>
#include <optional>
#include <QList>
#include <QString>

// What this machine knows of the versions of a chosen folder's store, kept beside its settings
// (never in the folder), so that a conflict copy can be merged against the version both sides
// started from: a note changed on one side only then takes that side's text without a question.
//
// The version this machine last read or wrote is no such version after a time off line: it is
// one of the two sides itself. So what is kept is the last version known to be held elsewhere
// too (one another machine wrote, or one of this machine's that another machine's writing shows
// it had), the steps that led to it, and this machine's own changes made since; a version that
// holds some of them, from another machine, shows which ones that machine had. A version of this
// machine's that lost to another's (the sync tool put the other in the store's place) keeps the
// version the two had in common, for when it comes back as a conflict copy. Prints only (no
// texts), in two files of their own, readable by the user alone: one rewritten when another
// machine's version is read, one that each save adds to.
class StoreBase final
{
public:
    // For the store in `storeFile`, kept in the folder `keptIn` (made if need be).
    StoreBase(const QString &storeFile, const QString &keptIn);
    ~StoreBase();
    StoreBase(const StoreBase &) = delete;
    StoreBase &operator=(const StoreBase &) = delete;

    // A whole read of the store found the file with `facts` (size -1: there is none); `version`
    // gives what it holds, asked only when this machine did not read or write it last.
    void read(const StoreFile::Facts &facts, const std::function<StorePrints::Version()> &version);
    // This machine's change is in the file, which now has `facts`. `now` holds what the change
    // touched as it is now: notes (Absent for one taken out) and, for each of `masters`, the
    // master macro whole (missing when taken out).
    void wrote(const StoreFile::Facts &facts, const StorePrints::Version &now,
               const QStringList &masters);
    // The version to merge `other` (a conflict copy last written at `modifiedNs`) against: the
    // latest one that both it and the store are known to hold; none when there is no such one.
    std::optional<StorePrints::Version> baseFor(const StorePrints::Version &other,
                                                qint64 modifiedNs);

private:
    struct Step
    {
        qint64 modifiedNs = 0; // of the version it led to
        QList<StorePrints::Change> changes;
    };
    // One of this machine's versions that another's took the place of: its digest, and this
    // machine's changes in it that the other lacked.
    struct Lost
    {
        quint64 digest = 0;
        QList<StorePrints::Change> changes;
    };

    static qsizetype held(const StorePrints::Version &other, const QList<Step> &steps,
                          qint64 untilNs = std::numeric_limits<qint64>::max());
    void pushStep(const QList<StorePrints::Change> &changes, qint64 modifiedNs);
    // Brings this object up to what the files hold; `whole`: the versions too.
    void load(bool whole);
    bool readKnown(bool whole);
    bool readSaves();
    void saveKnown();
    void appendSave(const Step &save);

    QString m_storeFile;
    QString m_knownPath;  // shared version, steps and lost versions
    QString m_savesPath;  // this machine's changes since
    bool m_known = false; // a shared version is known
    bool m_whole = false; // and read, with the steps and lost versions
    StorePrints::Version m_shared;
    QList<Step> m_steps; // to m_shared, oldest first
    QList<Step> m_saves; // this machine's since m_shared, oldest first
    QList<Lost> m_lost;
    StoreFile::Facts m_last;     // of the file as this machine last read or wrote it
    StorePrints::Version m_mine; // m_shared with m_saves made
    quint64 m_mineDigest = 0;
    // Of the two files as this object last read or wrote them: another object over the same
    // store (or another part of the program) may have written them since.
    StoreFile::Facts m_knownFacts;
    StoreFile::Facts m_savesFacts;
};
