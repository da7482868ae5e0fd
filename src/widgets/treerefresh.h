#pragma once

class MacroStore;
class MacroTreeItems;
class QTreeWidget;

// Brings the tree of master macros to what the store holds now, in place: rows of master macros
// and notes that are still there stay the very rows they were (their tick, selection and
// expansion with them), gone ones go, new ones join in store order. The tree says nothing
// meanwhile (its signals are held), so nothing takes the shuffle for a choice of the user.
namespace TreeRefresh {

void apply(QTreeWidget *tree, MacroTreeItems &items, const MacroStore &store);

} // namespace TreeRefresh
