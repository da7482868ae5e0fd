#pragma once

#include <QProcess>

// A real notification-area host (trayer) on the test's X server, while the object lives.
struct TrayHost final
{
    QProcess process;

    ~TrayHost() { stop(); }
    // True once the host holds the tray: its windows show only after it took the selection.
    bool start()
    {
        process.start("trayer", {});
        return process.waitForStarted() &&
               QProcess::execute(
                   "timeout", {"10", "xdotool", "search", "--sync", "--classname", "trayer"}) == 0;
    }
    void stop()
    {
        process.kill();
        process.waitForFinished();
    }
};
