#pragma once

#include <QString>
#include <QStringList>

// What the command line asks of the running instance: `--pick`, `--deliver "Master/Note"` or
// `--list`. Anything else is the program's own start (`--minimize-to-tray`).
struct CommandLine
{
    enum class Action { Start, Pick, Deliver, List };
    // The exit codes of a call.
    enum Exit { Done = 0, NoSuchNote = 1, Unreachable = 2, Busy = 3 };

    Action action = Action::Start;
    QString master; // of --deliver
    QString note;
    QString problem; // why the arguments make no call ("" when they do)

    static CommandLine parse(const QStringList &arguments);
};
