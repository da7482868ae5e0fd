// A bare Qt Widgets window, built with the same compiler, flags and Qt as Keyquill: the
// yardstick for Keyquill's start-up time and memory. Prints "ready" once its event loop runs.
#include <cstdio>
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.showMaximized();
    QTimer::singleShot(0, &app, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    return QApplication::exec();
}
