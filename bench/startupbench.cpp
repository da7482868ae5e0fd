// Start-up time and memory of Keyquill with 10,000 notes in 100 master macros, hidden in the
// tray and shown, next to a bare Qt Widgets window.
// Prints the figures; judges nothing.
//
// Both programs run with KEYQUILL_BENCH_QUIT set, so each leaves as soon as its event loop
// runs: the wall time from spawn to exit is the time to a running event loop plus the tear-down,
// and the peak resident set (ru_maxrss from wait4) is the memory of the fully built program.
#include "benchutil.h"
#include "support/testenv.h"

#include <algorithm>
#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

struct Figures
{
    double wallMs = -1;
    long peakKb = -1;
    int status = -1;
};

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
    figures.peakKb = usage.ru_maxrss;
    figures.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return figures;
}

void report(const char *name, std::vector<Figures> runs)
{
    std::sort(runs.begin(), runs.end(),
              [](const Figures &a, const Figures &b) { return a.wallMs < b.wallMs; });
    const Figures &median = runs[runs.size() / 2];
    long peak = 0;
    for (const Figures &figures : runs)
        peak = std::max(peak, figures.peakKb);
    std::printf("%-30s start to exit: median %6.1f ms (min %6.1f, max %6.1f)   "
                "peak RSS %ld KiB   exit %d   (%zu runs)\n",
                name, median.wallMs, runs.front().wallMs, runs.back().wallMs, peak, median.status,
                runs.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestEnvironment env; // own settings, guard key and update server; never the user's
    Bench::fillStore(100, 100);
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
    return 0;
}
