#pragma once

#include <QString>
#include <QStringList>

// The notes the user picked last, newest first, so that "Pick a note" offers them first. Kept in
// the local `Preferences` group (key `quickPickRecent`), never inside `MasterMacros`: export,
// import and the report never see it, and it belongs to this machine. Each note is named
// "<master macro>/<note>".
namespace RecentNotes {

// Older picks beyond these are forgotten.
constexpr int Limit = 100;

QStringList read();
// Puts `key` first. False when the disk refused; the pick itself goes on.
bool use(const QString &key);

} // namespace RecentNotes
