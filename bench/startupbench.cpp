// Start-up time and memory of Keyquill with 10,000 notes in 100 master macros, hidden in the
// tray and shown, next to a bare Qt Widgets window; then with 100,000 notes, next to the bare
// window reading the same store once with the settings layer (its parse and its list of master
// macros: the least such a start must do), in turns with it, and next to the time that read takes
// alone. Prints the figures and their ratios; judges nothing.
//
// A notification area (trayer) runs meanwhile, as in a desktop session, so that the program
// started with "--minimize-to-tray" stays hidden. Both programs run with KEYQUILL_BENCH_QUIT set,
// so each leaves as soon as its event loop runs: the wall time from spawn to exit is the time to a
// running event loop plus the tear-down, and the peak resident set (ru_maxrss from wait4) is the
// memory of the fully built program. The CPU time (user and system) is less swayed by a busy
// machine than the wall time.
#include "app/appidentity.h"
#include "benchutil.h"
#include "support/testenv.h"
#include "support/trayhost.h"

#include <algorithm>
#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

struct Figures
{
    double wallMs = -1;
    double cpuMs = -1;
    long peakKb = -1;
    int status = -1;
};

double milliseconds(const timeval &time)
{
    return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3;
}

Figures run(const std::vector<const char *> &command)
{
    Figures figures;
    std::vector<char *> argv;
    for (const char *part : command)
        argv.push_back(const_cast<char *>(part));
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return figures;
    int status = 0;
    struct rusage usage;
    if (::wait4(pid, &status, 0, &usage) != pid)
        return figures;
    figures.wallMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    figures.cpuMs = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
    figures.peakKb = usage.ru_maxrss;
    figures.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return figures;
}

Figures median(std::vector<Figures> runs)
{
    std::sort(runs.begin(), runs.end(),
              [](const Figures &a, const Figures &b) { return a.wallMs < b.wallMs; });
    Figures middle = runs[runs.size() / 2];
    std::sort(runs.begin(), runs.end(),
              [](const Figures &a, const Figures &b) { return a.cpuMs < b.cpuMs; });
    middle.cpuMs = runs[runs.size() / 2].cpuMs;
    return middle;
}

Figures report(const char *name, std::vector<Figures> runs)
{
    std::sort(runs.begin(), runs.end(),
              [](const Figures &a, const Figures &b) { return a.wallMs < b.wallMs; });
    long peak = 0;
    for (const Figures &figures : runs)
        peak = std::max(peak, figures.peakKb);
    const Figures middle = median(runs);
    std::printf("%-40s start to exit: median %6.1f ms (min %6.1f, max %6.1f), CPU %6.1f ms   "
                "peak RSS %ld KiB   exit %d   (%zu runs)\n",
                name, middle.wallMs, runs.front().wallMs, runs.back().wallMs, middle.cpuMs, peak,
                middle.status, runs.size());
    return middle;
}

// The settings layer's parse of the store file and its list of master macros: the least a start
// must read. A copy under a new name each time, as the layer keeps a parse per file name.
double readOnce(int rounds)
{
    const QString store = QSettings().fileName();
    QTemporaryDir dir;
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const QString copy = dir.filePath(QStringLiteral("store%1.conf").arg(i));
        QFile::copy(store, copy);
        QElapsedTimer clock;
        clock.start();
        QSettings settings(copy, QSettings::IniFormat);
        settings.beginGroup(MacroStore::MasterMacrosGroup);
        settings.childGroups();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The store is filled by a process of its own: the peak resident set a child reports counts what
// its parent held when it was spawned, and the settings layer keeps its parse of what it wrote.
void fillStore(int masters, int notes)
{
    const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    const QByteArray masterCount = QByteArray::number(masters);
    const QByteArray noteCount = QByteArray::number(notes);
    run({self.constData(), "--fill", masterCount.constData(), noteCount.constData()});
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--fill") { // in the parent's settings folder
        AppIdentity::apply();
        Bench::fillStore(QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toInt());
        return 0;
    }
    TestEnvironment env; // own settings, guard key and update server; never the user's
    // Without a notification area "--minimize-to-tray" can only minimize the window.
    TrayHost tray;
    std::printf("notification area: %s\n", tray.start() ? "trayer" : "none (trayer did not start)");
    fillStore(100, 100);
    qputenv("KEYQUILL_BENCH_QUIT", "1");
    const int runs = qEnvironmentVariableIntValue("BENCH_RUNS") > 0
                         ? qEnvironmentVariableIntValue("BENCH_RUNS")
                         : 9;
    std::vector<Figures> bare;
    std::vector<Figures> keyquill;
    run({BAREWINDOW_BINARY}); // warm the file cache for both
    run({KEYQUILL_BINARY, "--minimize-to-tray"});
    for (int i = 0; i < runs; ++i) {
        bare.push_back(run({BAREWINDOW_BINARY}));
        keyquill.push_back(run({KEYQUILL_BINARY, "--minimize-to-tray"}));
    }
    report("bare Qt Widgets window", bare);
    report("keyquill --minimize-to-tray", keyquill);
    std::vector<Figures> shown;
    for (int i = 0; i < runs; ++i)
        shown.push_back(run({KEYQUILL_BINARY}));
    report("keyquill, window shown", shown);

    // Ten times the notes, in turns with the bare window reading their store once.
    fillStore(100, 1000);
    const QByteArray storeFile = QFile::encodeName(QSettings().fileName());
    const int fewer = std::max(3, runs / 3);
    std::vector<Figures> largeTray;
    std::vector<Figures> largeShown;
    std::vector<Figures> bareRead;
    run({KEYQUILL_BINARY, "--minimize-to-tray"});
    for (int i = 0; i < fewer; ++i) {
        largeTray.push_back(run({KEYQUILL_BINARY, "--minimize-to-tray"}));
        bareRead.push_back(run({BAREWINDOW_BINARY, "--read", storeFile.constData()}));
        largeShown.push_back(run({KEYQUILL_BINARY}));
    }
    const Figures tray100k = report("100,000 notes, in the tray", largeTray);
    report("100,000 notes, window shown", largeShown);
    const Figures reference = report("bare window reading that store once", bareRead);
    const double readMs = readOnce(fewer);
    std::printf("%-40s median %6.1f ms\n", "100,000 notes, store read once", readMs);
    const Figures bareMedian = median(bare);
    std::printf("in the tray beside the bare window reading the store once: CPU %.2fx, wall %.2fx;"
                " beyond the bare window, %.1f reads of the store (CPU)\n",
                tray100k.cpuMs / reference.cpuMs, tray100k.wallMs / reference.wallMs,
                (tray100k.cpuMs - bareMedian.cpuMs) / readMs);
    return 0;
}
