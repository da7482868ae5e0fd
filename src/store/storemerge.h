#pragma once

#include "store/macrostore.h"

#include <functional>
#include <QList>
#include <QString>

// Brings into a store what another one holds that it lacks, as one change: master macros it does
// not have come in whole, notes missing from a master macro it has join that one, and notes
// whose hot key or text differ come in as a master macro of their own under the import's clash
// rule (the user names it; letter case ignored in the comparison). Nothing of either is dropped,
// and nothing comes in twice: notes whose name, hot key and text the store holds already, under
// whatever master macro, stay out of those that would come in under a new name (so that a copy
// brought in again, or on two machines at once, adds nothing more).
class StoreMerge final
{
public:
    enum class Outcome {
        Nothing,  // the other store holds nothing this one lacks
        Merged,   // all of it is in
        Stopped,  // the user gave no name for a clash; nothing was written
        NotSaved, // the store refused the change; nothing of it was kept
    };
    // Asks for another name for a clashing candidate; "" stops.
    using AskNewName = std::function<QString(const QString &candidate)>;

    StoreMerge(MacroStore &into, AskNewName askNewName);

    Outcome bringIn(const MacroStore &from);
    // What the last bringIn() wrote.
    const QList<MacroStore::Master> &added() const { return m_added; }

private:
    bool plan(const MacroStore &from);

    MacroStore &m_into;
    AskNewName m_askNewName;
    QList<MacroStore::Master> m_added;
};
