#include "storemerge.h"

#include "store/storesnapshot.h"

#include <QHash>
#include <QSet>
#include <utility>

namespace {

QString key(const MacroStore::Note &note)
{
    return note.name + QChar(0) + QString::number(note.code) + QChar(0) + note.text;
}

quint64 print(const MacroStore::Note &note)
{
    return StorePrints::of(note.code, note.text);
}

QStringList namesOf(const StoreSnapshot &version)
{
    QStringList names;
    names.reserve(version.masters().size());
    for (const MacroStore::Master &master : version.masters())
        names.append(master.name);
    return names;
}

const QList<MacroStore::Note> &notesOf(const StoreSnapshot &version, const QString &master)
{
    static const QList<MacroStore::Note> none;
    const MacroStore::Master *found = version.master(master);
    return found ? found->notes : none;
}

} // namespace

StoreMerge::StoreMerge(MacroStore &into, AskNewName askNewName)
    : m_into(into), m_askNewName(std::move(askNewName))
{
}

StoreMerge::Outcome StoreMerge::bringIn(const MacroStore &from,
                                        const std::optional<StorePrints::Version> &base)
{
    m_put.clear();
    m_drop.clear();
    Outcome outcome = Outcome::Merged;
    if (!plan(from, base ? &*base : nullptr))
        outcome = Outcome::Stopped;
    else if (m_put.isEmpty() && m_drop.isEmpty())
        outcome = Outcome::Nothing;
    else if (!m_into.change(m_put, m_drop))
        outcome = Outcome::NotSaved;
    m_put.clear();
    m_drop.clear();
    return outcome;
}

bool StoreMerge::plan(const MacroStore &from, const StorePrints::Version *base)
{
    // Each version read once, whole.
    const std::shared_ptr<const StoreSnapshot> ours = m_into.snapshot();
    const std::shared_ptr<const StoreSnapshot> copy = from.snapshot();
    const QStringList present = namesOf(*ours);
    QSet<QString> taken;
    for (const QString &name : present)
        taken.insert(name.toCaseFolded());
    if (base)
        dropGone(*ours, *copy, *base);
    // Notes the store holds already, under whatever master macro: what came in under a name of
    // its own before (brought in here, or on another machine from the same copy) stays out. Not
    // those that go now (a master macro renamed there comes in under its new name).
    QSet<QString> gone;
    for (const MacroStore::Master &master : std::as_const(m_drop))
        for (const MacroStore::Note &note : master.notes)
            gone.insert(master.name + QChar(0) + note.name);
    QSet<QString> held;
    const auto notHeld = [&](QList<MacroStore::Note> notes) {
        if (held.isEmpty())
            for (const QString &master : present)
                for (const MacroStore::Note &note : notesOf(*ours, master))
                    if (!gone.contains(master + QChar(0) + note.name))
                        held.insert(key(note));
        notes.removeIf([&held](const MacroStore::Note &note) { return held.contains(key(note)); });
        return notes;
    };
    const auto chooseName = [&](QString *name) {
        while (taken.contains(name->toCaseFolded()) || !MacroStore::isStorableName(*name)) {
            *name = m_askNewName(*name);
            if (name->isEmpty())
                return false;
        }
        taken.insert(name->toCaseFolded());
        return true;
    };
    // What the note was in the base; Absent without one.
    const auto was = [base](const QString &master, const QString &note) {
        return base ? StorePrints::at(*base, master, note) : StorePrints::Absent;
    };

    for (const MacroStore::Master &master : copy->masters()) {
        const QString &name = master.name;
        QList<MacroStore::Note> theirs = master.notes;
        if (!present.contains(name)) {
            // Taken out here since the base: it stays out, but for notes changed there since.
            if (base && base->contains(name)) {
                theirs.removeIf([&](const MacroStore::Note &note) {
                    return print(note) == was(name, note.name);
                });
                if (theirs.isEmpty())
                    continue;
            }
            // New here, or a name that differs from one here only in letter case: a clash.
            // One whose notes are all here already came in under a name of its own before: on
            // another machine that brought in the same copy at the same time, say.
            const bool clash = taken.contains(name.toCaseFolded());
            const QList<MacroStore::Note> missing = notHeld(theirs);
            if (!theirs.isEmpty() && missing.isEmpty())
                continue;
            MacroStore::Master comes{name, clash ? missing : theirs};
            if (!chooseName(&comes.name))
                return false;
            m_put.append(comes);
            continue;
        }
        QHash<QString, MacroStore::Note> here;
        for (const MacroStore::Note &note : notesOf(*ours, name))
            here.insert(note.name, note);
        MacroStore::Master put{name, {}};
        MacroStore::Master differing{name, {}};
        for (const MacroStore::Note &note : std::as_const(theirs)) {
            const auto it = here.constFind(note.name);
            const quint64 there = print(note);
            const quint64 ourPrint = it == here.constEnd() ? StorePrints::Absent : print(*it);
            const quint64 before = was(name, note.name);
            // Alike, or not changed there since the base: what is here stands.
            if (there == ourPrint || (base && there == before))
                continue;
            // Missing here (or taken out here after it was changed there), or changed there only.
            if (ourPrint == StorePrints::Absent || (base && ourPrint == before))
                put.notes.append(note);
            else
                differing.notes.append(note);
        }
        if (!put.notes.isEmpty())
            m_put.append(put);
        differing.notes = notHeld(differing.notes);
        if (!differing.notes.isEmpty()) {
            if (!chooseName(&differing.name))
                return false;
            m_put.append(differing);
        }
    }
    return true;
}

void StoreMerge::dropGone(const StoreSnapshot &ours, const StoreSnapshot &copy,
                          const StorePrints::Version &base)
{
    // Taken out there since the base and not changed here since: they go here too. A master
    // macro goes whole when every note of it goes.
    const QStringList there = namesOf(copy);
    for (const MacroStore::Master &master : ours.masters()) {
        const QString &name = master.name;
        if (!base.contains(name))
            continue;
        const bool masterThere = there.contains(name);
        const QList<MacroStore::Note> &notes = master.notes;
        QSet<QString> theirs;
        if (masterThere)
            for (const MacroStore::Note &note : notesOf(copy, name))
                theirs.insert(note.name);
        MacroStore::Master gone{name, {}};
        for (const MacroStore::Note &note : notes)
            if (!theirs.contains(note.name) &&
                print(note) == StorePrints::at(base, name, note.name))
                gone.notes.append(note);
        if (!gone.notes.isEmpty())
            m_drop.append(gone);
        if (!masterThere && gone.notes.size() == notes.size())
            m_drop.append({name, {}});
    }
}
