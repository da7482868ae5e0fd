#include "app/appidentity.h"
#include "app/singleinstance.h"
#include "mainwindow/mainwindow.h"

#include <memory>
#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    auto app = std::make_unique<QApplication>(argc, argv);
    Q_INIT_RESOURCE(keyquill);
    AppIdentity::apply();

    auto guard = std::make_unique<SingleInstanceGuard>();
    if (!guard->create()) {
        // Another instance runs: ask it to come forward and leave without a word.
        guard->sendRestoreRequest();
        guard.reset();
        app.reset();
        return -2;
    }

    int code = 0;
    {
        MainWindow window;
        if (AppIdentity::wantsMinimizeToTray(QCoreApplication::arguments()))
            window.close();
        else
            window.showMaximized();
        // Start-up measurements (bench/) only: leave as soon as the event loop runs.
        if (qEnvironmentVariableIsSet("KEYQUILL_BENCH_QUIT"))
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        code = QApplication::exec();
    }
    guard.reset();
    Q_CLEANUP_RESOURCE(keyquill);
    app.reset();
    return code;
}
