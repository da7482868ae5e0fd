#pragma once

#include <QProcess>

// A real notification-area host (trayer) on the test's X server, for as long as the object
// lives or until stop().
class TrayHost final
{
public:
    TrayHost() = default;
    ~TrayHost() { stop(); }
    TrayHost(const TrayHost &) = delete;
    TrayHost &operator=(const TrayHost &) = delete;

    // Starts the host and waits until it has taken the tray selection.
    bool start();
    void stop();
    // Someone owns the tray selection of the first screen.
    static bool isRunning();

private:
    QProcess m_process;
};
