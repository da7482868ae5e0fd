#pragma once

#include <QByteArray>
#include <QString>

// A file of the store's folder, read and written without trusting it. The folder may be kept by
// a sync tool for other machines (which carries links too), so the file may be a link out of the
// folder, a pipe that never ends, a device, another user's file, a huge one, or one being written
// in place while it is read. Nothing here blocks, follows a link it was told not to, or reads
// more than the cap; what was read is the file as it stood between two looks that agreed.
class StoreFile final
{
public:
    // What the file looks like from outside: any change of it, in place or by a rename, gives
    // other facts (times to the nanosecond, as the file system keeps them).
    struct Facts
    {
        qint64 size = -1; // -1: there is no such file
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        quint64 inode = 0;
        quint64 device = 0;
        bool operator==(const Facts &other) const
        {
            return size == other.size && modifiedNs == other.modifiedNs &&
                   changedNs == other.changedNs && inode == other.inode && device == other.device;
        }
        bool operator!=(const Facts &other) const { return !(*this == other); }
    };

    enum class Outcome {
        Read,     // `bytes` hold the whole file
        Missing,  // there is no such file
        Refused,  // not a file the program reads; `problem` says why
        Changing, // it changed while it was read
        Failed,   // the system refused to read it; `problem` says why
    };
    struct Read
    {
        Outcome outcome = Outcome::Missing;
        QByteArray bytes;
        Facts facts;
        QString problem;
        qint64 ageMs = 0; // since the file's modification time, when it was read
    };

    // Refuse: a link is refused (the file is in a folder others write to). Follow: a link the
    // user made is followed to its file.
    enum class Links { Refuse, Follow };

    // One look at `path`: a regular file of this user no larger than sizeCap(). `tighten` takes
    // group and other permissions off it first, as the store is for its owner's eyes only.
    static Read read(const QString &path, Links links, bool tighten = false);
    static Facts facts(const QString &path, Links links);
    // Where there is something at `path` that is not a regular file (a link, a pipe, a folder):
    // what it is, in plain words; "" for a regular file or nothing.
    static QString oddity(const QString &path);
    // Why read() would refuse what is at `path`, without opening it; "" for nothing there.
    static QString refusal(const QString &path, Links links);

    enum class Replaced { Done, Raced, Failed };
    // Puts `bytes` in the place of `path` (never through a link there): a new file of the
    // owner's beside it, flushed to the disk, renamed over it, but only while `path` still has
    // the facts `expected` (Raced otherwise, and nothing changed). `facts` gets those of the new
    // file.
    static Replaced replace(const QString &path, const QByteArray &bytes, const Facts &expected,
                            Facts *facts);
    // The name of that new file while it is written: a save of a process that died leaves it.
    static QString pendingName(const QString &path, qint64 pid);

    // The most the program reads of one file; settable for tests.
    static qint64 sizeCap();
    static void setSizeCap(qint64 bytes);
    // The cap in plain words ("64 MiB").
    static QString capText();
};
