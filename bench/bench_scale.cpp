// Scale of the store: importing files of many master macros of one note each through the main
// window (N and 2N, to show the growth), the start check, and one note saved in stores of 1,000
// and 10,000 notes, each beside the settings layer doing the least of the same work.
// Prints the figures; it never passes or fails on time.
#include "app/application.h"
#include "benchutil.h"
#include "editor/noteeditor.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "store/storewrite.h"
#include "support/fakeplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"
#include "widgets/heaprelease.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double cpuMs()
{
    timespec now = {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Times
{
    std::vector<double> wall;
    std::vector<double> cpu;
    template <typename Action> void add(Action action)
    {
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = cpuMs();
        action();
        cpu.push_back(cpuMs() - cpuBefore);
        wall.push_back(clock.nsecsElapsed() / 1e6);
    }
};

void printPair(const QString &what, const Times &ours, const char *reference, const Times &theirs)
{
    std::printf("%s: CPU median %.2f ms (wall %.2f) beside %s %.2f ms (wall %.2f): %.2fx\n",
                qPrintable(what), median(ours.cpu), median(ours.wall), reference,
                median(theirs.cpu), median(theirs.wall), median(ours.cpu) / median(theirs.cpu));
}

// One note saved again and again (its hot key and text, as the editor saves it), in turns with
// the same change written by the settings layer alone to a copy of the store, on an object kept
// open: the least a save can cost. `file`: a chosen folder's store, "" for the native one.
void saves(int notes, const QString &file, const QString &copy)
{
    MacroStore store(file);
    const std::unique_ptr<QSettings> plain =
        copy.isEmpty() ? std::make_unique<QSettings>()
                       : std::make_unique<QSettings>(copy, QSettings::IniFormat);
    const QString master = QStringLiteral("Master 007");
    const QString note = QStringLiteral("Note 000007");
    const QString key = StoreWrite::groupPath(master, note) + QLatin1Char('/');
    Times ours;
    Times theirs;
    for (int round = 0; round < 41; ++round) {
        const QString text = QStringLiteral("saved %1").arg(round);
        ours.add([&] { store.saveNote(master, note, 0x04000041 + round % 26, text); });
        theirs.add([&] {
            plain->setValue(key + MacroStore::ShortcutKey, 0x04000041 + round % 26);
            plain->setValue(key + MacroStore::TextKey, text);
            plain->sync();
        });
    }
    printPair(QStringLiteral("save one note in %1 (%2)")
                  .arg(notes)
                  .arg(file.isEmpty() ? QStringLiteral("settings file")
                                      : QStringLiteral("chosen folder")),
              ours, "a settings write", theirs);
}

void idleFor(int ms)
{
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The same through the window's editor: its checks, the tree painted again and the live hot keys
// read again included; then the memory ten saves leave behind, beside what the program held idle
// before them.
void editorSaves(const TestEnvironment &environment, int masters, int rounds)
{
    Bench::fillStore(masters, 100);
    ScriptedDialogs dialogs;
    FakePlatform platform;
    Application program(platform.platform(), &dialogs, Application::Options{false});
    MainWindow &window = program.window();
    window.showMaximized(); // as the user sees it: the tree and the editor are painted again
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeMacros"));
    while (tree->topLevelItem(7)->childCount() < 100) // rows are made while idle
        QApplication::processEvents();
    tree->setCurrentItem(tree->topLevelItem(7)->child(7));
    tree->topLevelItem(7)->setCheckState(0, Qt::Checked);
    QApplication::processEvents();
    const QString copy = environment.configDir() + QStringLiteral("/plain.conf");
    QFile::remove(copy);
    QFile::copy(QSettings().fileName(), copy);
    QSettings plain(copy, QSettings::IniFormat);
    const QString key =
        StoreWrite::groupPath(QStringLiteral("Master 007"), QStringLiteral("Note 000007")) +
        QLatin1Char('/');
    Times ours;
    Times theirs;
    double before = 0;
    for (int round = 0; round < rounds; ++round) {
        if (round == rounds - 10) {
            idleFor(1500);
            before = Bench::statusMiB("VmRSS");
        }
        const QString text = QStringLiteral("edited %1").arg(round);
        const int code = Bench::allCodes().at(7 + round % 2);
        window.editor().edit(code, text);
        ours.add([&] {
            window.editor().save();
            QApplication::processEvents();
        });
        theirs.add([&] {
            plain.setValue(key + MacroStore::ShortcutKey, code);
            plain.setValue(key + MacroStore::TextKey, text);
            plain.sync();
        });
    }
    idleFor(1500); // what the program gives back while idle after saves
    const double after = Bench::statusMiB("VmRSS");
    printPair(QStringLiteral("save one note in %1, the editor's Save (a live master macro)")
                  .arg(masters * 100),
              ours, "a settings write", theirs);
    HeapRelease::release();
    std::printf("  RSS 1.5 s after the last 10 of them: %+.1f MiB of %.1f before (%+.1f with the "
                "heap trimmed again)\n",
                after - before, before, Bench::statusMiB("VmRSS") - before);
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

    // The start check next to one read of the store (the parse and the list of master macros
    // the window makes anyway); each with a fresh parse, as at start.
    Bench::fillStore(100, 100);
    std::vector<double> reads;
    std::vector<double> checks;
    for (int round = 0; round < 9; ++round) {
        QElapsedTimer timer;
        timer.start();
        {
            QSettings store;
            store.beginGroup(MacroStore::MasterMacrosGroup);
            store.childGroups();
            reads.push_back(timer.nsecsElapsed() / 1e6);
        }
        timer.restart();
        QSettings store;
        if (!StoreWrite::prepareAtStart(store).isEmpty())
            return 1;
        checks.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("start check of a store of 10000 notes: median %.1f ms, beside %.1f ms for one "
                "read of it\n",
                median(checks), median(reads));

    for (const int notes : {1000, 10000}) {
        Bench::fillStore(notes / 100, 100);
        saves(notes, QString(), QString());
    }
    QTemporaryDir folder;
    Bench::fillStore(10, 100);
    const QString chosen = folder.filePath(MacroStore::FileName);
    QFile::copy(QSettings().fileName(), chosen);
    QFile::copy(QSettings().fileName(), chosen + QStringLiteral(".plain"));
    saves(1000, chosen, chosen + QStringLiteral(".plain"));
    editorSaves(environment, 10, 41);
    editorSaves(environment, 1000, 13);
    return 0;
}
