#pragma once

#include <QByteArray>
#include <QString>

// The copy of a store that does not read as it was written, kept beside it as
// <store>.damaged-<date> before anything is written over it.
namespace DamagedCopy {

enum class Outcome { Made, Existed, Failed };

// Once: a copy of these very bytes beside `store` means the user was told already. `path` gets
// the new copy's name. Only regular files of the user are compared, and the copy never goes
// through a link.
Outcome keep(const QString &store, const QByteArray &bytes, QString *path);

// What the user is told: `found` what is wrong, `copy` where it is kept ("" when none could be
// made, and nothing is written then).
QString message(const QString &store, const QString &found, Outcome outcome, const QString &copy);

} // namespace DamagedCopy
