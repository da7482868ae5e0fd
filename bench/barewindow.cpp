// A bare Qt Widgets window, built with the same compiler, flags and Qt as Keyquill: the
// yardstick for Keyquill's start-up time and memory. Like Keyquill, it leaves as soon as its
// event loop runs when KEYQUILL_BENCH_QUIT is set.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.showMaximized();
    if (qEnvironmentVariableIsSet("KEYQUILL_BENCH_QUIT"))
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}
