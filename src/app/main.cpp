#include "app/appidentity.h"
#include "app/singleinstance.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <memory>

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
        code = QApplication::exec();
    }
    guard.reset();
    Q_CLEANUP_RESOURCE(keyquill);
    app.reset();
    return code;
}
