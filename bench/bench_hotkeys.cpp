// Tick and untick of one master macro of 1,000, 10,000 and 100,000 notes through the window,
// with real grabs: run it on a private X server (QT_QPA_PLATFORM=xcb, DISPLAY of an Xvfb), as
// it grabs every key combination the key list offers. Unticking must grow linearly.
#include "benchutil.h"
#include "quietplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "app/application.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QTest>
#include <QTreeWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestEnvironment environment;
    ScriptedDialogs dialogs;
    QuietPlatform platform;
    const auto idle = [](int = 0) { QApplication::processEvents(); };
    // BENCH_NOTES=100000 (a list, comma-separated) runs those sizes alone, e.g. under a profiler.
    QList<int> sizes = {1000, 10000, 100000};
    if (qEnvironmentVariableIsSet("BENCH_NOTES")) {
        sizes.clear();
        for (const QString &size : qEnvironmentVariable("BENCH_NOTES").split(QLatin1Char(',')))
            sizes.append(size.toInt());
    }
    for (int notes : std::as_const(sizes)) {
        Bench::fillStore(1, notes);
        Application program(platform.platform(), &dialogs, Application::Options{false});
        MainWindow &window = program.window();
        window.showMaximized();
        if (!QTest::qWaitForWindowExposed(&window))
            std::printf("the window was not exposed\n");
        QTreeWidgetItem *master = window.findChild<QTreeWidget *>("treeMacros")->topLevelItem(0);
        // Every row made first (they are made while the window is idle), so that a tick is
        // measured alone.
        while (master->childCount() < notes)
            idle();
        const int rounds = notes >= 100000 ? 3 : 10;
        std::printf("%d notes (%lld grabbed):\n", notes,
                    qMin<long long>(notes, Bench::allCodes().size()));
        Bench::measure(
            "  tick", rounds,
            [&](int) {
                master->setCheckState(0, Qt::Checked);
                idle();
            },
            [&](int) { master->setCheckState(0, Qt::Unchecked); });
        Bench::measure(
            "  untick", rounds,
            [&](int) {
                master->setCheckState(0, Qt::Unchecked);
                idle();
            },
            [&](int) { master->setCheckState(0, Qt::Checked); });
        master->setCheckState(0, Qt::Unchecked);
        LiveMaster &live = window.live();
        Bench::measure(
            "  activate (no window)", rounds, [&](int) { live.choose("Master 000"); },
            [&](int) { live.choose(QString()); });
        Bench::measure(
            "  deactivate (no window)", rounds, [&](int) { live.choose(QString()); },
            [&](int) { live.choose("Master 000"); });
        live.choose(QString());
    }
    return 0;
}
