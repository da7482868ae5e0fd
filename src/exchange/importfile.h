#pragma once

#include <QByteArray>
#include <QString>

class ImportProgress;

// Reads a file picked for an import so that the file cannot hold the program up: a pipe, a
// device or a socket is never waited on (opened without blocking, then refused), and no more
// than a given number of bytes is taken, in pieces that report progress and heed Cancel.
class ImportFile final
{
public:
    enum class Outcome { Read, NotRegular, TooLarge, Failed, Cancelled };

    // `error` gets the system's reason when the outcome is Failed; `progress` may be null.
    static Outcome read(const QString &path, qint64 limit, ImportProgress *progress,
                        QByteArray *bytes, QString *error);

    // What tells a real folder apart from every other (device and inode where there are such),
    // so that a walk through links sees each folder once; "" when the folder cannot be reached.
    static QByteArray folderIdentity(const QString &path);

    // Hands what a reading freed back to the system where the C library can: the heap of the
    // worker thread that read would otherwise keep it while the store is written.
    static void releaseFreedMemory();

    // Bytes are read in pieces of this size, between which progress is told and Cancel heard.
    static constexpr qint64 PieceSize = 1 << 20;
};
