// "Pick a note" over a real X server (DISPLAY), the whole path: a key press sent as a keyboard
// would (XTest), the program's hot key, the popup mapped and its first paint on screen. The
// program runs as itself (the keyquill binary, its store of N notes, default 10,000, and the
// pick's hot key set), then the reference in the same way: a bare Qt program holding the same
// strings that shows a QLineEdit over a QListView of them as a popup on the same key. Escape
// closes each popup between rounds (BENCH_KEYQUILL names another build of the program to run).
// Prints median, min and max of each and their ratio; BENCH_RUNS rounds (default 9) after one not
// counted. Judges nothing.
#include "benchutil.h"
#include "support/testenv.h"

#include <algorithm>
#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QThread>
#include <vector>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

struct Round
{
    double paintedMs = -1;
};

void tap(Display *display, const std::vector<KeySym> &keys)
{
    for (KeySym key : keys)
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), True, CurrentTime);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, *key), False, CurrentTime);
    XFlush(display);
}

// The next window mapped as a popup (override-redirect) on the root, or None after `ms`.
Window nextPopup(Display *display, int ms)
{
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < ms) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && event.xmap.override_redirect)
                return event.xmap.window;
        }
        QThread::usleep(200);
    }
    return None;
}

// Painted: most of the window shows the white of its list's rows (where nothing is painted yet it
// shows what was behind it, Xvfb's patterned root window).
bool painted(Display *display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
        return false;
    XImage *image = XGetImage(display, window, 0, 0, unsigned(attributes.width),
                              unsigned(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    int white = 0;
    int all = 0;
    for (int y = 0; y < image->height; y += 3) {
        for (int x = 0; x < image->width; x += 3, ++all)
            white += (XGetPixel(image, x, y) & 0xFFFFFF) == 0xFFFFFF;
    }
    XDestroyImage(image);
    return white * 10 > all * 6;
}

void waitGone(Display *display, Window window, int ms)
{
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < ms) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if ((event.type == UnmapNotify && event.xunmap.window == window) ||
                (event.type == DestroyNotify && event.xdestroywindow.window == window))
                return;
        }
        QThread::usleep(500);
    }
}

std::vector<double> rounds(Display *display, int count)
{
    std::vector<double> times;
    for (int round = 0; round <= count; ++round) {
        QElapsedTimer clock;
        clock.start();
        tap(display, {XK_Control_L, XK_Alt_L, XK_q});
        const Window popup = nextPopup(display, 10000);
        if (popup == None) {
            std::printf("  round %d: no popup within 10 s\n", round);
            continue;
        }
        while (!painted(display, popup) && clock.elapsed() < 10000)
            QThread::usleep(200);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        // The first press finds nothing warm but what the program made while idle.
        if (round > 0)
            times.push_back(ms);
        else
            std::printf("  the first press after the start: %.1f ms\n", ms);
        tap(display, {XK_Escape});
        waitGone(display, popup, 2000);
        QThread::msleep(300); // idle, as between two uses
    }
    return times;
}

double report(const char *name, std::vector<double> times)
{
    if (times.empty()) {
        std::printf("%-48s no figures\n", name);
        return -1;
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("%-48s median %7.1f ms (min %7.1f, max %7.1f, %zu rounds)\n", name, median,
                times.front(), times.back(), times.size());
    std::fflush(stdout);
    return median;
}

// Started, given time to settle (the program prepares the pick while idle), measured, ended.
std::vector<double> measure(Display *display, const QString &program, const QStringList &arguments,
                            int count)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForStarted())
        return {};
    QThread::sleep(4);
    const qint64 pid = process.processId();
    const double before = Bench::statusMiB("VmRSS", pid);
    const double heapBefore = Bench::statusMiB("RssAnon", pid);
    std::vector<double> times = rounds(display, count);
    QThread::sleep(2); // a program that gives memory back has done so
    std::printf("  resident: %.1f MiB before the first press, %+.1f MiB after %d (heap %+.1f)\n",
                before, Bench::statusMiB("VmRSS", pid) - before, count + 1,
                Bench::statusMiB("RssAnon", pid) - heapBefore);
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    return times;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestEnvironment environment; // its own settings folder and guard key
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::printf("bench_pickx11 needs an X server (DISPLAY)\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    const int notes = argc > 1 ? std::max(100, QByteArray(argv[1]).toInt()) : 10000;
    const int count = qEnvironmentVariableIntValue("BENCH_RUNS") > 0
                          ? qEnvironmentVariableIntValue("BENCH_RUNS")
                          : 9;
    Bench::fillStore(notes / 100, 100);
    QSettings().setValue(QStringLiteral("Preferences/quickPickShortcut"),
                         (Qt::CTRL | Qt::ALT | Qt::Key_Q).toCombined());
    // The reference holds the same strings, one row each: name, master macro, text.
    const QString strings = environment.configDir() + QStringLiteral("/strings.txt");
    {
        QSettings store;
        store.beginGroup(QStringLiteral("MasterMacros"));
        QByteArray lines;
        for (const QString &master : store.childGroups()) {
            store.beginGroup(master + QStringLiteral("/Macros"));
            for (const QString &note : store.childGroups())
                lines +=
                    (note + QLatin1Char('\t') + master + QLatin1Char('\t') +
                     store.value(note + QStringLiteral("/text")).toString() + QLatin1Char('\n'))
                        .toUtf8();
            store.endGroup();
        }
        QFile out(strings);
        if (!out.open(QIODevice::WriteOnly) || out.write(lines) != lines.size())
            return 1;
    }
    std::printf("notes: %d\n", notes);
    const double ours =
        report("keyquill: key press to popup painted",
               measure(display, qEnvironmentVariable("BENCH_KEYQUILL", KEYQUILL_BINARY),
                       {QStringLiteral("--minimize-to-tray")}, count));
    const double theirs = report("bare QListView of the same strings, the same way",
                                 measure(display, QStringLiteral(BAREWINDOW_BINARY),
                                         {QStringLiteral("--pick"), strings}, count));
    if (ours > 0 && theirs > 0)
        std::printf("keyquill beside the bare list: %.2fx\n", ours / theirs);
    XCloseDisplay(display);
    return 0;
}
