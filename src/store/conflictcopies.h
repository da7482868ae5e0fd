#pragma once

#include <QStringList>

// The copies of the store that sync tools leave beside it when two machines changed it at once:
// Syncthing's "Keyquill.sync-conflict-<date>-<time>-<device>.conf", Nextcloud's
// "Keyquill (conflicted copy <date> <time>).conf" and Dropbox's
// "Keyquill (<machine>'s conflicted copy <date>).conf".
namespace ConflictCopies {

// The paths of those beside `storeFile`, oldest name first, whatever they are (StoreFile says
// whether one can be read).
QStringList find(const QString &storeFile);

} // namespace ConflictCopies
