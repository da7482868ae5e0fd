#pragma once

#include <optional>
#include <QString>

// A note's edit that was neither saved nor given up when the program was ended from outside (at
// a log-out): kept in a file of its own beside the local settings, readable by the user alone,
// until the next start offers it back. Never in the store, which other machines may share.
struct UnsavedEdit final
{
    QString master;
    QString note;
    int code = 0;
    QString text;

    static QString fileName();
    // False when the disk refused it.
    bool keep() const;
    // Nothing when there is no such file; *damaged tells a file that cannot be read from none.
    static std::optional<UnsavedEdit> read(bool *damaged);
    static void forget();
};
