// Start-up time and resident memory of "keyquill --minimize-to-tray" next to a bare Qt Widgets
// window. Prints the figures; judges nothing.
//
// Ready means the event loop runs. The bare window says so on its output. Keyquill is watched
// from outside: its restore poll first ticks 1000 ms after the window's constructor has ended,
// and a tick clears byte 0 of the guard segment, so ready = time of the first clearing - 1000 ms.
// Memory is read from /proc (VmHWM: peak resident set, VmRSS: resident set) one second after
// ready.
#include "app/singleinstance.h"
#include "support/testenv.h"

#include <algorithm>
#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSharedMemory>
#include <QThread>
#include <vector>

namespace {

struct Figures
{
    double readyMs = -1;
    qint64 peakKb = -1;
    qint64 residentKb = -1;
};

qint64 procStatusKb(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

void measureMemory(QProcess &process, Figures &figures)
{
    settle(1000);
    figures.peakKb = procStatusKb(process.processId(), "VmHWM:");
    figures.residentKb = procStatusKb(process.processId(), "VmRSS:");
    process.kill();
    process.waitForFinished(5000);
}

Figures runBareWindow()
{
    Figures figures;
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(BAREWINDOW_BINARY), {});
    while (process.state() != QProcess::NotRunning && clock.elapsed() < 20000) {
        if (process.waitForReadyRead(1) && process.readAll().contains("ready")) {
            figures.readyMs = clock.nsecsElapsed() / 1e6;
            break;
        }
    }
    measureMemory(process, figures);
    return figures;
}

int guardByte(const QString &key)
{
    QSharedMemory memory(key);
    if (!memory.attach() || !memory.lock())
        return -1;
    const int value = static_cast<const char *>(memory.constData())[0];
    memory.unlock();
    memory.detach();
    return value;
}

bool markGuard(const QString &key)
{
    QSharedMemory memory(key);
    if (!memory.attach() || !memory.lock())
        return false;
    static_cast<char *>(memory.data())[0] = 'x';
    memory.unlock();
    memory.detach();
    return true;
}

Figures runKeyquill(const TestEnvironment &env)
{
    Figures figures;
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(KEYQUILL_BINARY), {QStringLiteral("--minimize-to-tray")});
    QString key;
    while (key.isEmpty() && clock.elapsed() < 20000 && process.state() != QProcess::NotRunning) {
        key = SingleInstanceGuard::heldKey(env.instanceKey());
        QCoreApplication::processEvents();
    }
    if (!key.isEmpty() && markGuard(key)) {
        while (clock.elapsed() < 20000) {
            if (guardByte(key) == 0) {
                figures.readyMs = clock.nsecsElapsed() / 1e6 - 1000.0;
                break;
            }
            QCoreApplication::processEvents();
            QThread::usleep(500);
        }
    }
    measureMemory(process, figures);
    QSharedMemory stale(key); // the kill leaves the segment behind
    if (!key.isEmpty() && stale.attach())
        stale.detach();
    return figures;
}

void report(const char *name, std::vector<Figures> runs)
{
    const auto median = [&runs](auto member) {
        std::vector<double> values;
        for (const Figures &figures : runs)
            values.push_back(static_cast<double>(figures.*member));
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    std::printf("%-34s ready %7.1f ms   peak RSS %7.0f KiB   RSS %7.0f KiB   (median of %zu)\n",
                name, median(&Figures::readyMs), median(&Figures::peakKb),
                median(&Figures::residentKb), runs.size());
    for (const Figures &figures : runs)
        std::printf("    run: ready %7.1f ms   peak RSS %lld KiB\n", figures.readyMs,
                    static_cast<long long>(figures.peakKb));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = qMax(1, qEnvironmentVariableIntValue("BENCH_RUNS"));
    TestEnvironment env; // own settings, guard key and a quiet update server
    std::vector<Figures> bare;
    std::vector<Figures> keyquill;
    for (int i = 0; i < (runs > 1 ? runs : 5); ++i) {
        bare.push_back(runBareWindow());
        keyquill.push_back(runKeyquill(env));
    }
    report("bare Qt Widgets window", bare);
    report("keyquill --minimize-to-tray", keyquill);
    return 0;
}
