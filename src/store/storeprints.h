#pragma once

#include <QHash>
#include <QList>
#include <QString>

class QDataStream;
class QSettings;

// A version of the store as a merge compares it: for each master macro, a print of each note's
// hot key and text (the same print for the same note whatever file it is read from, and never
// Absent). The note "" stands for the master macro itself (Master while it is there), since a
// master macro may hold no notes at all. Prints keep no text, so they can be kept beside the
// store on this machine without a second copy of the notes.
namespace StorePrints {

using Notes = QHash<QString, quint64>;
using Version = QHash<QString, Notes>;

constexpr quint64 Absent = 0;
constexpr quint64 Master = 1;

quint64 of(int code, const QString &text);
// What a new note holds: no hot key, no text (made alike on any machine, so it tells nothing).
quint64 empty();
// Absent when `version` has no such note.
quint64 at(const Version &version, const QString &master, const QString &note);
// Every master macro and note of a store as the settings layer reads it.
Version read(QSettings &store);
// One master macro that is there, `store` being in the group of the master macros.
Notes readMaster(QSettings &store, const QString &master);
// One number for a whole version: equal versions, equal digests. It is the sum of one term per
// note, so that a change can be taken into it note by note.
quint64 digest(const Version &version);
quint64 term(const QString &master, const QString &note, quint64 print);

// One note (or master macro) that a change took from `before` to `after`.
struct Change
{
    QString master;
    QString note;
    quint64 before = Absent;
    quint64 after = Absent;
};
QDataStream &operator<<(QDataStream &out, const Change &change);
QDataStream &operator>>(QDataStream &in, Change &change);
// `version` with `changes` made (forward) or undone.
void apply(Version &version, const QList<Change> &changes, bool forward = true);
// What takes `from` to `to`.
QList<Change> changes(const Version &from, const Version &to);

} // namespace StorePrints
