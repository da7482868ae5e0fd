// A thousand conflict copies beside a store in a chosen folder, each holding a master macro the
// store lacks, brought in through the window's question (answered OK): how long it takes in all,
// and the longest time the window's event loop was held meanwhile (what a user would see as a
// freeze). Run it offscreen or with an X server.
#include "quietplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "app/application.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "store/preferences.h"

#include <algorithm>
#include <cstdio>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestEnvironment environment;
    QTemporaryDir folder;
    const int copies = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 1000;
    const auto write = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    };
    write(folder.filePath(MacroStore::FileName),
          "[MasterMacros]\nWork\\Macros\\hello\\shortcut=0\nWork\\Macros\\hello\\text=Hello\n");
    for (int i = 0; i < copies; ++i)
        write(folder.filePath(QStringLiteral("Keyquill.sync-conflict-20261207-%1-ABCDEF7.conf")
                                  .arg(i, 6, 10, QLatin1Char('0'))),
              QStringLiteral("[MasterMacros]\nCopy %1\\Macros\\n\\shortcut=0\nCopy %1\\Macros\\n\\"
                             "text=from copy %1\n")
                  .arg(i)
                  .toUtf8());
    Preferences::saveStoreFolder(folder.path());

    ScriptedDialogs dialogs;
    QuietPlatform platform;
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    Application program(platform.platform(), &dialogs, Application::Options{false});
    MainWindow &window = program.window();
    beat.start(0);
    last = clock.elapsed();
    const bool done = QTest::qWaitFor(
        [&] {
            return QDir(folder.path()).entryList({QStringLiteral("*sync-conflict*")}).isEmpty();
        },
        600000);
    std::printf("%d conflict copies brought in: %s in %lld ms; the event loop held at most "
                "%lld ms at a time; %d master macros now\n",
                copies, done ? "all" : "NOT all", static_cast<long long>(clock.elapsed()),
                static_cast<long long>(longest), int(window.store().masters().size()));
    return 0;
}
