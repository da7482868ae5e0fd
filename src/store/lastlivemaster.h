#pragma once

#include <QString>

// The master macro live now, kept so that the next start can tick it again, after a quit or a
// crash alike: written at every change while the user wants it (Preferences), beside the
// preferences in their group (never inside `MasterMacros`: export, import and the report never
// see it).
namespace LastLiveMaster {

// "" when none was live or nothing is kept.
QString read();
// "" for none. False when the disk refused; the program goes on without it.
bool write(const QString &master);
// Drops what is kept (the user no longer wants it).
bool forget();

} // namespace LastLiveMaster
