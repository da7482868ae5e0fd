// A bare Qt Widgets window, built with the same compiler, flags and Qt as Keyquill: the
// yardstick for Keyquill's start-up time and memory. Like Keyquill, it leaves as soon as its
// event loop runs when KEYQUILL_BENCH_QUIT is set. "barewindow --read FILE" first reads the
// settings file FILE once, as the least a start with that store must do: the settings layer's
// parse of it and its list of master macros.
#include <QApplication>
#include <QMainWindow>
#include <QSettings>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype read = arguments.indexOf(QStringLiteral("--read"));
    std::unique_ptr<QSettings> store;
    if (read > 0 && read + 1 < arguments.size()) {
        store = std::make_unique<QSettings>(arguments.at(read + 1), QSettings::IniFormat);
        store->beginGroup(QStringLiteral("MasterMacros"));
        store->childGroups();
    }
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.showMaximized();
    if (qEnvironmentVariableIsSet("KEYQUILL_BENCH_QUIT"))
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}
