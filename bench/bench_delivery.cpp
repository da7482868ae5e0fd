// Press-to-paste time: a real key press (XTest, from another client) on a note's hot key until
// the text arrives in another application's text field, less the program's own one-second
// wait. Prints the median and the spread of BENCH_RUNS presses (default 20). Needs a private X
// server in DISPLAY without a window manager (the helper field takes the focus itself).
#include "mainwindow/mainwindow.h"
#include "support/testenv.h"
#include "textfield.h"
#include "widgets/checktreewidget.h"
#include "xclient.h"

#include <algorithm>
#include <cstdio>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTest>

#include <X11/keysym.h>

namespace {

// Runs the event loop until `done` holds or `ms` have passed; false on the timeout.
template<typename Done>
bool waitFor(Done done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestEnvironment environment;
    const int runs = qEnvironmentVariableIntValue("BENCH_RUNS") > 0
                         ? qEnvironmentVariableIntValue("BENCH_RUNS")
                         : 20;
    const QString text = QStringLiteral("bench text\nsecond line");
    TestEnvironment::writeNote(QStringLiteral("Bench"), QStringLiteral("note"),
                               (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined(), text);

    XClient keyboard;
    TextField field;
    if (!keyboard.isOpen() || !field.start() || !waitFor([&] { return field.isReady(); }, 10000)) {
        std::printf("no X server, or the text field did not get the focus\n");
        return 1;
    }
    MainWindow window;
    window.findChild<CheckTreeWidget *>(QStringLiteral("treeMacros"))
        ->topLevelItem(0)
        ->setCheckState(0, Qt::Checked);

    QList<double> overheads;
    for (int run = 0; run < runs; ++run) {
        field.clear();
        if (!waitFor([&] { return field.text().isEmpty(); }, 5000))
            return 1;
        // Past the settle time of the previous paste, so each press is delivered at once.
        QTest::qWait(700);
        QElapsedTimer clock;
        clock.start();
        keyboard.press({XK_Control_L, XK_Alt_L}, XK_a);
        if (!waitFor([&] { return field.text() == text; }, 15000)) {
            std::printf("run %d: the text did not arrive\n", run + 1);
            return 1;
        }
        overheads.append(clock.nsecsElapsed() / 1e6 - 1000.0);
    }
    std::sort(overheads.begin(), overheads.end());
    std::printf("press to paste, above the one-second wait, %d presses: median %.1f ms, "
                "min %.1f ms, max %.1f ms\n",
                runs, overheads.at(runs / 2), overheads.first(), overheads.last());
    return 0;
}
