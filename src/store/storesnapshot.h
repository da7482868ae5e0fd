#pragma once

#include "core/notematcher.h"
#include "store/macrostore.h"

#include <memory>
#include <QHash>
#include <QList>
#include <QString>

// The master macros and their notes (names, hot keys, texts) as the store's file held them at one
// moment: read once per change of the file and shared by everything that shows or delivers
// notes. Never written back: every change still goes to the file, which stays the only truth.
class StoreSnapshot final
{
public:
    using Note = MacroStore::Note;
    using Master = MacroStore::Master;

    StoreSnapshot() = default;
    StoreSnapshot(QList<Master> masters, const MacroStore::Stamp &stamp);

    // In the store's order.
    const QList<Master> &masters() const { return m_masters; }
    // The master macro of exactly that name; null when there is none.
    const Master *master(const QString &name) const;
    // The note `name` of `master`; null when there is none.
    const Note *note(const QString &master, const QString &name) const;
    qsizetype noteCount() const;
    // The file as it was when read.
    MacroStore::Stamp stamp() const { return m_stamp; }
    // Every note folded for searching, in store order: made at the first call and shared by
    // everything that searches this snapshot, so that a search after no change folds nothing.
    const NoteMatcher &matcher() const;

    // This one with `master` read anew (`notes` in store order), added where a reading of the
    // file would put it when new, or taken out when `gone`.
    StoreSnapshot with(const QString &master, const QList<Note> &notes, bool gone,
                       const MacroStore::Stamp &stamp) const;

private:
    void index();

    QList<Master> m_masters;
    QHash<QString, qsizetype> m_positions; // master name -> its place in m_masters
    MacroStore::Stamp m_stamp;
    mutable std::shared_ptr<const NoteMatcher> m_matcher;
};
