// Press-to-paste time: a real key press (XTest, from a second client) on a note's hot key until
// the text arrives in a text field, less the one-second wait. Prints the median and the spread
// of BENCH_RUNS presses (default 20). Needs a private X server in DISPLAY without a window
// manager (the field takes the focus itself).
#include "support/testenv.h"
#include "xclient.h"

#include "hotkeys/hotkeycontroller.h"
#include "store/macrostore.h"

#include <algorithm>
#include <cstdio>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>

#include <X11/keysym.h>

namespace {

// Runs the event loop until `done` holds or `ms` have passed; false on the timeout.
template <typename Done> bool waitFor(Done done, int ms)
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
    const int runs = std::max(1, qEnvironmentVariableIntValue("BENCH_RUNS") > 0
                                     ? qEnvironmentVariableIntValue("BENCH_RUNS")
                                     : 20);
    const QString text = QStringLiteral("bench text\nsecond line");
    TestEnvironment::writeNote(QStringLiteral("Bench"), QStringLiteral("note"),
                               (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined(), text);

    XClient keyboard;
    QPlainTextEdit field;
    field.show();
    field.activateWindow();
    if (!keyboard.isOpen() || !waitFor([&] { return field.hasFocus(); }, 10000)) {
        std::printf("no X server, or the field did not get the focus\n");
        return 1;
    }
    MacroStore store;
    HotKeyController keys(store);
    keys.activate(QStringLiteral("Bench"));

    QList<double> overheads;
    for (int run = 0; run < runs; ++run) {
        field.clear();
        // Past the settle time of the previous paste, so each press is delivered at once.
        QTest::qWait(HotKeyController::PasteSettleMs + 200);
        QElapsedTimer clock;
        clock.start();
        keyboard.press({XK_Control_L, XK_Alt_L}, keyboard.keycode(XK_a));
        if (!waitFor([&] { return field.toPlainText() == text; }, 15000)) {
            std::printf("run %d: the text did not arrive\n", run + 1);
            return 1;
        }
        overheads.append(double(clock.nsecsElapsed()) / 1e6 - HotKeyController::PasteDelayMs);
    }
    std::sort(overheads.begin(), overheads.end());
    std::printf("press to paste, above the %d ms wait, %d presses: median %.1f ms, min %.1f ms, "
                "max %.1f ms\n",
                HotKeyController::PasteDelayMs, runs, overheads.at(runs / 2), overheads.first(),
                overheads.last());
    return 0;
}
