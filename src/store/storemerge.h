#pragma once

#include "store/macrostore.h"
#include "store/storeprints.h"

#include <functional>
#include <optional>
#include <QList>
#include <QString>

class StoreSnapshot;

// Brings into a store what another version of it holds, as one change.
//
// Against a base (the version both started from, StoreBase): a note or master macro changed,
// added or taken out on one side only follows that side without a question (the other side's
// version comes in, or the note goes); a note changed on both sides (or added on both with
// different texts) is kept both ways: the other version comes in as a master macro of its own,
// under a name the user gives (the import's clash rule; letter case ignored). A note changed on
// one side and taken out on the other stays, with its change.
//
// With no base (a folder taken on, or no version known to both): nothing is taken out; master
// macros the store lacks come in whole, missing notes join their master macro, and notes whose
// hot key or text differ come in as a master macro of their own, as above.
//
// Either way nothing comes in twice: notes whose name, hot key and text the store holds already,
// under whatever master macro, stay out of those that would come in under a new name (so that a
// copy brought in again, or on two machines at once, adds nothing more).
class StoreMerge final
{
public:
    enum class Outcome {
        Nothing,  // the other version holds nothing this one lacks
        Merged,   // all of it is in
        Stopped,  // the user gave no name for a clash; nothing was written
        NotSaved, // the store refused the change; nothing of it was kept
    };
    // Asks for another name for a clashing candidate; "" stops.
    using AskNewName = std::function<QString(const QString &candidate)>;

    StoreMerge(MacroStore &into, AskNewName askNewName);

    Outcome bringIn(const MacroStore &from,
                    const std::optional<StorePrints::Version> &base = std::nullopt);

private:
    bool plan(const MacroStore &from, const StorePrints::Version *base);
    void dropGone(const StoreSnapshot &ours, const StoreSnapshot &copy,
                  const StorePrints::Version &base);

    MacroStore &m_into;
    AskNewName m_askNewName;
    QList<MacroStore::Master> m_put;
    QList<MacroStore::Master> m_drop;
};
