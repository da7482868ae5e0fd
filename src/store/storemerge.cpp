#include "storemerge.h"

#include <QHash>
#include <QSet>
#include <utility>

StoreMerge::StoreMerge(MacroStore &into, AskNewName askNewName)
    : m_into(into), m_askNewName(std::move(askNewName))
{
}

StoreMerge::Outcome StoreMerge::bringIn(const MacroStore &from)
{
    m_added.clear();
    Outcome outcome = Outcome::Merged;
    if (!plan(from))
        outcome = Outcome::Stopped;
    else if (m_added.isEmpty())
        outcome = Outcome::Nothing;
    else if (!m_into.addMasters(m_added))
        outcome = Outcome::NotSaved;
    if (outcome != Outcome::Merged)
        m_added.clear();
    return outcome;
}

namespace {

QString key(const MacroStore::Note &note)
{
    return note.name + QChar(0) + QString::number(note.code) + QChar(0) + note.text;
}

} // namespace

bool StoreMerge::plan(const MacroStore &from)
{
    const QStringList present = m_into.masters();
    QSet<QString> taken;
    for (const QString &name : present)
        taken.insert(name.toCaseFolded());
    // Notes the store holds already, under whatever master macro: what came in under a name of
    // its own before (brought in here, or on another machine from the same copy) stays out.
    QSet<QString> held;
    const auto notHeld = [&](QList<MacroStore::Note> notes) {
        if (held.isEmpty())
            for (const QString &master : present)
                for (const MacroStore::Note &note : m_into.notes(master))
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

    const QStringList masters = from.masters();
    for (const QString &name : masters) {
        const QList<MacroStore::Note> theirs = from.notes(name);
        if (!present.contains(name)) {
            // New here, or a name that differs from one here only in letter case: a clash.
            // One whose notes are all here already came in under a name of its own before: on
            // another machine that brought in the same copy at the same time, say.
            const bool clash = taken.contains(name.toCaseFolded());
            const QList<MacroStore::Note> missing = notHeld(theirs);
            if (!theirs.isEmpty() && missing.isEmpty())
                continue;
            MacroStore::Master master{name, clash ? missing : theirs};
            if (!chooseName(&master.name))
                return false;
            m_added.append(master);
            continue;
        }
        QHash<QString, MacroStore::Note> ours;
        const QList<MacroStore::Note> notes = m_into.notes(name);
        for (const MacroStore::Note &note : notes)
            ours.insert(note.name, note);
        MacroStore::Master missing{name, {}};
        MacroStore::Master differing{name, {}};
        for (const MacroStore::Note &note : theirs) {
            const auto it = ours.constFind(note.name);
            if (it == ours.constEnd())
                missing.notes.append(note);
            else if (it->code != note.code || it->text != note.text)
                differing.notes.append(note);
        }
        if (!missing.notes.isEmpty())
            m_added.append(missing);
        differing.notes = notHeld(differing.notes);
        if (!differing.notes.isEmpty()) {
            if (!chooseName(&differing.name))
                return false;
            m_added.append(differing);
        }
    }
    return true;
}
