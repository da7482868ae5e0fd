// Import of 10,000 snippets from each other program's format (and 10,000 of one name): reading
// the file into master macros (parse and conversion) and writing them to an empty store as one
// change. Prints the figures; it never passes or fails on time.
//
// Hostile files, one process each so that /usr/bin/time -v can tell its peak memory:
//   bench_snippetimport --hostile DIR [MB]  writes them to DIR (a CSV field of MB megabytes,
//                                           default 200) and prints the commands
//   bench_snippetimport FILE                imports FILE into an empty store and says how long
//   bench_snippetimport --window FILE       the same through the main window's command (offscreen,
//                                           the summary answered "Import")
#include "app/application.h"
#include "exchange/importsummarydlg.h"
#include "exchange/masterimporter.h"
#include "exchange/snippetfiles.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "support/fakeplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include <algorithm>
#include <cstdio>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int Snippets = 10000;
constexpr int Rounds = 5;

QString text(int n)
{
    return QStringLiteral("Dear customer %1,\nthank you for your message; we answer within two "
                          "days. Kind regards, Se\u00f1or M\u00fcller \u20ac 100%")
        .arg(n);
}

bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray espanso()
{
    QByteArray yaml = "matches:\n";
    for (int n = 0; n < Snippets; ++n) {
        yaml += QStringLiteral("  - trigger: \":s%1\"\n    replace: |\n      ").arg(n).toUtf8();
        yaml += text(n).replace(QLatin1Char('\n'), QLatin1String("\n      ")).toUtf8();
        yaml += n % 10 == 0 ? "\n      {{d}}\n    vars:\n      - name: d\n        type: date\n"
                              "        params:\n          format: \"%Y-%m-%d\"\n"
                            : "\n";
    }
    return yaml;
}

QByteArray beeftext()
{
    QByteArray json = R"({"fileFormatVersion": 8, "groups": [{"uuid": "{g1}", "name": "One"},
 {"uuid": "{g2}", "name": "Two"}], "combos": [)";
    for (int n = 0; n < Snippets; ++n) {
        QString snippet = text(n) + (n % 10 == 0 ? QStringLiteral(" #{clipboard}") : QString());
        snippet.replace(QLatin1Char('\n'), QLatin1String("\\n"));
        json += QStringLiteral(R"(%1{"uuid": "{c%2}", "name": "Combo %2", "keyword": "k%2",
 "snippet": "%3", "group": "{g%4}", "enabled": true})")
                    .arg(n ? QStringLiteral(",") : QString())
                    .arg(n)
                    .arg(snippet)
                    .arg(n % 2 + 1)
                    .toUtf8();
    }
    return json + "]}";
}

bool autoKey(const QString &folder)
{
    for (int n = 0; n < Snippets; ++n) {
        const QString name = QStringLiteral("Phrase %1").arg(n);
        const QByteArray description =
            QStringLiteral(R"({"type": "phrase", "description": "%1", "abbreviation":
 {"abbreviations": ["p%2"]}, "hotkey": {"modifiers": ["<ctrl>", "<alt>"], "hotKey": %3}})")
                .arg(name)
                .arg(n)
                .arg(n < 26 ? QStringLiteral("\"%1\"").arg(QChar('a' + n)) : QStringLiteral("null"))
                .toUtf8();
        if (!write(folder + QStringLiteral("/.%1.json").arg(name), description) ||
            !write(folder + QStringLiteral("/%1.txt").arg(name), text(n).toUtf8()))
            return false;
    }
    return true;
}

QByteArray csv(bool header = true)
{
    QByteArray table = header ? "name;text;master macro;hot key\r\n" : "";
    for (int n = 0; n < Snippets; ++n)
        table += QStringLiteral("Note %1;\"%2 \"\"quoted\"\"\";Master %3;%4\r\n")
                     .arg(n)
                     .arg(text(n))
                     .arg(n / 1000)
                     .arg(n % 1000 < 26 ? QStringLiteral("Ctrl+Alt+%1").arg(QChar('A' + n % 1000))
                                        : QString())
                     .toUtf8();
    return table;
}

// Files that attack the import: links that make a folder its own child, FIFOs, one name many
// times, YAML aliases that repeat a large text, a large CSV field.
int writeHostile(const QString &dir, int fieldMegabytes)
{
    QStringList paths;
    const QString links = dir + QStringLiteral("/links");
    const QByteArray description = R"({"type": "phrase", "description": "p", "hotkey": {}})";
    if (!write(links + QStringLiteral("/.p.json"), description) ||
        !write(links + QStringLiteral("/p.txt"), "text"))
        return 1;
    for (const char *link : {"/a", "/b", "/c"})
        QFile::link(QStringLiteral("."), links + QLatin1String(link));
    paths << links + QStringLiteral("/p.txt");

    const QString fifo = dir + QStringLiteral("/fifo");
    QDir().mkpath(fifo);
    if (!write(fifo + QStringLiteral("/.f.json"), description))
        return 1;
    mkfifo(QFile::encodeName(fifo + QStringLiteral("/f.txt")).constData(), 0600);
    mkfifo(QFile::encodeName(dir + QStringLiteral("/fifo.csv")).constData(), 0600);
    paths << fifo + QStringLiteral("/f.txt") << dir + QStringLiteral("/fifo.csv");

    QByteArray same = "name;text\n";
    for (int n = 0; n < 20000; ++n)
        same += "Same;text " + QByteArray::number(n) + '\n';
    if (!write(dir + QStringLiteral("/same.csv"), same))
        return 1;
    paths << dir + QStringLiteral("/same.csv");

    // One anchored text of 100 KB that every match repeats: 409 KB of file, 850 MB of text.
    QByteArray bomb = "t: &t \"" + QByteArray(100 * 1024, 'x') + "\"\nmatches:\n";
    for (int n = 0; bomb.size() < 409 * 1024; ++n)
        bomb += "- {trigger: \":a" + QByteArray::number(n) + "\", replace: *t}\n";
    if (!write(dir + QStringLiteral("/bomb.yml"), bomb))
        return 1;
    paths << dir + QStringLiteral("/bomb.yml");

    QFile field(dir + QStringLiteral("/field.csv"));
    if (!field.open(QIODevice::WriteOnly) || field.write("big;\"") < 0)
        return 1;
    const QByteArray megabyte(1024 * 1024, 'y');
    for (int n = 0; n < fieldMegabytes; ++n)
        field.write(megabyte);
    if (field.write("\"\n") < 0)
        return 1;
    paths << field.fileName();

    // Rows of a few bytes up to the file cap: millions of notes from 15 MiB.
    QByteArray tiny = "name;text\n";
    for (int n = 0; tiny.size() < 15 * 1024 * 1024; ++n)
        tiny += QByteArray::number(n, 36) + ";t\n";
    if (!write(dir + QStringLiteral("/rows.csv"), tiny))
        return 1;
    paths << dir + QStringLiteral("/rows.csv");

    for (const QString &path : std::as_const(paths))
        std::printf("/usr/bin/time -v bench_snippetimport '%s'\n", qPrintable(path));
    return 0;
}

// The process's peak resident memory so far, where the system tells it.
QString peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:"))
            return QString::fromLatin1(line.mid(6).simplified());
    }
    return QStringLiteral("unknown");
}

// Reads one file as the import does and writes what it gives to an empty store.
int importOne(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    ImportBatch batch = SnippetFiles::read(path);
    const double read = timer.nsecsElapsed() / 1e9;
    const ImportSummary summary = batch.summary();
    std::printf(
        "read in %.2f s, peak %s: %s\n", read, qPrintable(peakMemory()),
        qPrintable(summary.failed()
                       ? QStringLiteral("line %1: %2").arg(summary.errorLine).arg(summary.error)
                       : summary.lines().join(QStringLiteral("; "))));
    std::fflush(stdout);
    if (summary.failed())
        return 0;
    batch.setTable(nullptr); // as the summary lets a table go once answered
    MacroStore store;
    MasterMacroImporter importer(store, [](const QString &) { return QString(); });
    timer.restart();
    importer.save(batch.masters());
    std::printf("written in %.2f s\n", timer.nsecsElapsed() / 1e9);
    return 0;
}

// The whole command: file dialog, reading, summary, store and tree.
int importThroughWindow(const QString &path)
{
    ScriptedDialogs dialogs;
    dialogs.files = {path};
    FakePlatform platform;
    Application program(platform.platform(), &dialogs, Application::Options{false});
    MainWindow &window = program.window();
    // The summary is answered "Import" (Cancel where there is nothing to import); the progress
    // dialog before it is left alone.
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (!qobject_cast<ImportSummaryDlg *>(widget) || !widget->isVisible())
                continue;
            auto *buttons = widget->findChild<QDialogButtonBox *>();
            QPushButton *import = buttons->button(QDialogButtonBox::Ok);
            (import->isEnabled() ? import : buttons->button(QDialogButtonBox::Cancel))->click();
        }
    });
    answerer.start(10);
    QElapsedTimer timer;
    timer.start();
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("&Import Master Macro"))
            action->trigger();
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    qsizetype notes = 0;
    const QStringList masters = window.store().masters();
    for (const QString &master : masters)
        notes += window.store().noteNames(master).size();
    std::printf("imported in %.2f s, peak %s: %lld notes in the store; asked: %s\n", seconds,
                qPrintable(peakMemory()), static_cast<long long>(notes),
                qPrintable(dialogs.asked.join(QStringLiteral(" / "))));
    return 0;
}

// Every note of one name: each gets the next free " (n)".
QByteArray oneName()
{
    QByteArray table = "name;text\n";
    for (int n = 0; n < Snippets; ++n)
        table += "Same;text " + QByteArray::number(n) + '\n';
    return table;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestEnvironment environment; // its own settings folder, as the tests have
    const QStringList arguments = app.arguments();
    if (arguments.size() >= 3 && arguments.at(1) == QLatin1String("--hostile"))
        return writeHostile(arguments.at(2), arguments.value(3, QStringLiteral("200")).toInt());
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--window"))
        return importThroughWindow(arguments.at(2));
    if (arguments.size() == 2)
        return importOne(arguments.at(1));
    const QString dir = environment.configDir() + QStringLiteral("/snippets");
    const QString autoKeyFolder = dir + QStringLiteral("/My Phrases");
    struct Format
    {
        const char *name;
        QString path;
        bool written;
    };
    const std::vector<Format> formats = {
        {"espanso YAML", dir + "/base.yml", write(dir + "/base.yml", espanso())},
        {"Beeftext JSON", dir + "/combos.json", write(dir + "/combos.json", beeftext())},
        {"AutoKey folder", autoKeyFolder + "/Phrase 0.txt", autoKey(autoKeyFolder)},
        {"CSV", dir + "/notes.csv", write(dir + "/notes.csv", csv())},
        {"CSV, guessed", dir + "/bare.csv", write(dir + "/bare.csv", csv(false))},
        {"CSV, one name", dir + "/same.csv", write(dir + "/same.csv", oneName())}};
    std::printf("%d snippets per format, %d rounds, median (min) in ms\n", Snippets, Rounds);
    int failures = 0;
    for (const Format &format : formats) {
        std::vector<double> reads, saves;
        int notes = 0;
        for (int round = 0; round < Rounds && format.written; ++round) {
            {
                QSettings store;
                store.clear();
                store.sync();
            }
            QElapsedTimer timer;
            timer.start();
            const ImportBatch batch = SnippetFiles::read(format.path);
            reads.push_back(timer.nsecsElapsed() / 1e6);
            MacroStore store;
            MasterMacroImporter importer(store, [](const QString &) { return QString(); });
            timer.restart();
            importer.save(batch.masters());
            saves.push_back(timer.nsecsElapsed() / 1e6);
            notes = batch.summary().notes;
        }
        if (notes != Snippets || reads.empty()) {
            std::printf("%-15s FAILED (%d notes read)\n", format.name, notes);
            ++failures;
            continue;
        }
        std::printf("%-15s read %7.1f (%.1f)  write %7.1f (%.1f)  total %7.1f\n", format.name,
                    median(reads), *std::min_element(reads.begin(), reads.end()), median(saves),
                    *std::min_element(saves.begin(), saves.end()), median(reads) + median(saves));
    }
    return failures;
}
