// Prints how long the printed report takes, from the store to a PDF (wall clock, and the process's
// own processor time, which the machine's other load moves less), and its peak memory above the
// idle process, for stores of 1,000, 10,000 and 20,000 notes (all master macros) and for one
// master macro of 10,000 notes. Each size runs in a fresh process of its own, on a store of its
// own in a temporary folder, so that one size's freed heap does not hide the next one's peak.
#include "print/report.h"
#include "store/macrostore.h"

#include <cstdio>
#include <ctime>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

namespace {

constexpr int NotesPerMaster = 50;

// A line of /proc/self/status in KiB, e.g. "VmRSS".
qint64 statusKiB(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

void fillStore(int masters, int notesPerMaster)
{
    QSettings store;
    const QString text =
        QStringLiteral("Line of a note with <markup> & 100%2 signs.\n").repeated(5);
    for (int m = 0; m < masters; ++m) {
        for (int n = 0; n < notesPerMaster; ++n) {
            store.beginGroup(QStringLiteral("%1/M%2/%3/N%4")
                                 .arg(MacroStore::MasterMacrosGroup)
                                 .arg(m, 4, 10, QLatin1Char('0'))
                                 .arg(MacroStore::MacrosGroup)
                                 .arg(n, 5, 10, QLatin1Char('0')));
            store.setValue(MacroStore::TextKey, text);
            store.setValue(MacroStore::ShortcutKey, MacroStore::CtrlBit | (Qt::Key_A + n % 26));
            store.endGroup();
        }
    }
}

// One size in this process: fill the store, then build and print the report and measure that.
int runOne(int notes, bool oneMaster)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    if (oneMaster)
        fillStore(1, notes);
    else
        fillStore(notes / NotesPerMaster, NotesPerMaster);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("report.pdf")));

    // The peak starts again from here (Linux 4.0 and later).
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();
    const qint64 idleKiB = statusKiB("VmRSS");

    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    const QString html = oneMaster ? Report::masterMacroPage(QStringLiteral("M0000"))
                                   : Report::allMasterMacrosPage();
    const qint64 buildMs = timer.elapsed();
    Report::render(html, &printer);
    const qint64 totalMs = timer.elapsed();
    const double cpuMs = double(std::clock() - cpuStart) * 1000 / CLOCKS_PER_SEC;
    const qint64 peakKiB = statusKiB("VmHWM") - idleKiB;

    std::printf("%-30s %6d notes: %7lld ms (cpu %7.0f ms, of it building the HTML %4lld ms), "
                "peak %+6.1f MiB, %lld bytes of PDF\n",
                oneMaster ? "print one master macro" : "print all, 50 notes per master", notes,
                static_cast<long long>(totalMs), cpuMs, static_cast<long long>(buildMs),
                double(peakKiB) / 1024.0,
                static_cast<long long>(QFile(printer.outputFileName()).size()));
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("KeyquillBench"));

    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3)
        return runOne(args.at(1).toInt(), args.at(2) == QLatin1String("one"));

    const QList<QStringList> runs = {
        {"1000", "all"}, {"10000", "all"}, {"20000", "all"}, {"10000", "one"}};
    for (const QStringList &run : runs) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), run);
        child.waitForFinished(-1);
    }
    return 0;
}
