// Scale of the store: importing files of many master macros of one note each through the main
// window (N and 2N, to show the growth), and one save in a store of 10,000 notes.
// Prints the figures; it never passes or fails on time.
#include "app/application.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "store/storewrite.h"
#include "support/fakeplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include <algorithm>
#include <cstdio>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <vector>

namespace {

double importMs(const QString &file, int masters)
{
    {
        QSettings store;
        store.clear();
        store.sync();
    }
    QByteArray bytes;
    for (int m = 0; m < masters; ++m)
        bytes += "[Master " + QByteArray::number(m) +
                 "]\nMacros\\note\\shortcut=" + QByteArray::number(0x04000041 + m % 26) +
                 "\nMacros\\note\\text=text of " + QByteArray::number(m) + "\n";
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return -1;
    out.close();
    ScriptedDialogs dialogs;
    dialogs.files = {file};
    FakePlatform platform;
    Application program(platform.platform(), &dialogs, Application::Options{false});
    MainWindow &window = program.window();
    QAction *importAction = nullptr;
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == QStringLiteral("&Import Master Macro"))
            importAction = action;
    if (!importAction)
        return -1;
    QElapsedTimer timer;
    timer.start();
    importAction->trigger();
    const double ms = timer.nsecsElapsed() / 1e6;
    return QSettings().childGroups().isEmpty() ? -1 : ms;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestEnvironment environment; // its own settings folder, as the tests have
    const QString file = environment.configDir() + QStringLiteral("/many.mmacro");

    for (const int masters : {5000, 10000, 20000})
        std::printf("import %5d master macros of one note: %8.1f ms\n", masters,
                    importMs(file, masters));

    {
        QSettings store;
        store.clear();
        for (int m = 0; m < 100; ++m)
            for (int n = 0; n < 100; ++n)
                store.setValue(
                    QStringLiteral("MasterMacros/Master %1/Macros/Note %2/text").arg(m).arg(n),
                    QStringLiteral("Dear customer, thank you for your message %1-%2.")
                        .arg(m)
                        .arg(n)
                        .repeated(4));
    }
    // At start the check of the store and the window share one parse of it; both figures with a
    // fresh parse, as at start.
    std::vector<double> parses;
    std::vector<double> checks;
    for (int round = 0; round < 9; ++round) {
        QElapsedTimer timer;
        timer.start();
        {
            QSettings store;
            store.allKeys();
            parses.push_back(timer.nsecsElapsed() / 1e6);
        }
        timer.restart();
        QSettings store;
        if (!StoreWrite::prepareAtStart(store).isEmpty())
            return 1;
        checks.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(parses.begin(), parses.end());
    std::sort(checks.begin(), checks.end());
    std::printf("start check of a store of 10000 notes: median %.1f ms, of which %.1f ms is the "
                "parse the window needs anyway\n",
                checks[checks.size() / 2], parses[parses.size() / 2]);

    QSettings keeper; // the window keeps the store parsed the same way
    std::vector<double> saves;
    for (int round = 0; round < 9; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QString note =
            StoreWrite::groupPath(QStringLiteral("Master 7"), QStringLiteral("Note 7"));
        StoreWrite write({note});
        write.settings().setValue(note + QStringLiteral("/text"),
                                  QStringLiteral("saved %1").arg(round));
        if (!write.commit())
            return 1;
        saves.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(saves.begin(), saves.end());
    std::printf("save one note in a store of 10000 notes: median %.1f ms (min %.1f, max %.1f)\n",
                saves[saves.size() / 2], saves.front(), saves.back());
    return 0;
}
