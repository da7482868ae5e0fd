// The window with 10,000 notes in 100 master macros (or as many as the first argument says, in
// master macros of 100): start-up to an idle window, until every row
// is made and the tear-down, the time of each user action, painting included, and a hot key's
// press to the clipboard, and the memory ten print previews of every note keep. Run it with an X
// server (QT_QPA_PLATFORM=xcb on a private Xvfb) for real painting and grabs, or offscreen.
#include "benchutil.h"
#include "quietplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "app/application.h"
#include "editor/noteeditor.h"
#include "exchange/exportdlg.h"
#include "mainwindow/mainwindow.h"
#include "widgets/heaprelease.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QSettings>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestEnvironment environment;
    const int notes = argc > 1 ? qMax(100, QByteArray(argv[1]).toInt()) : 10000;
    Bench::fillStore(notes / 100, 100);
    ScriptedDialogs dialogs;
    QuietPlatform platform;
    const auto idle = [](int = 0) { QApplication::processEvents(); };

    const auto treeOf = [](MainWindow &window) {
        return window.findChild<QTreeWidget *>(QStringLiteral("treeMacros"));
    };
    // The rows past the first screenful are made in slices while the window is idle; the last
    // master macro's come last.
    const auto allRowsMade = [&](MainWindow &window) {
        const QTreeWidget *tree = treeOf(window);
        return tree->topLevelItem(tree->topLevelItemCount() - 1)->childCount() == 100;
    };
    QSettings keeper; // holds the store's parse from window to window, as main() does
    std::unique_ptr<Application> program;
    MainWindow *window = nullptr;
    const auto make = [&] {
        program = std::make_unique<Application>(platform.platform(), &dialogs,
                                                Application::Options{false});
        window = &program->window();
    };
    const auto start = [&](int) {
        make();
        window->showMaximized();
        if (!QTest::qWaitForWindowExposed(window))
            std::printf("the window was not exposed\n");
        idle();
    };
    const auto startAndFill = [&](int i) {
        start(i);
        while (!allRowsMade(*window))
            idle();
    };
    const auto close = [&](int) { program.reset(); };
    Bench::measure("start-up to idle window", 5, start, close);
    Bench::measure("start-up until every row is made", 5, startAndFill, close);
    // Hidden, as in the tray: each pass of the event loop is one slice of rows.
    double longestSlice = 0;
    Bench::measure(
        "the same, hidden in the tray", 5,
        [&](int) {
            make();
            while (!allRowsMade(*window)) {
                QElapsedTimer slice;
                slice.start();
                idle();
                longestSlice = qMax(longestSlice, double(slice.nsecsElapsed()) / 1e6);
            }
        },
        close);
    std::printf("%-34s %8.2f ms\n", "  longest slice of rows meanwhile", longestSlice);
    startAndFill(0);
    Bench::measure("close a window of every row", 5, close, startAndFill);

    // The first note shown after a start, before anything has read every note.
    Bench::measure(
        "first note selected after start", 5,
        [&](int) {
            QTreeWidget *rows = treeOf(*window);
            rows->setCurrentItem(rows->topLevelItem(0)->child(0));
            idle();
        },
        [&](int i) {
            close(i);
            start(i);
        });

    auto *tree = treeOf(*window);
    auto *text = window->findChild<QTextEdit *>(QStringLiteral("macro"));
    Bench::measure(
        "select a note", 20,
        [&](int i) {
            tree->setCurrentItem(tree->topLevelItem(i * 5)->child(i));
            idle();
        },
        idle);
    Bench::measure(
        "keystroke in the editor", 20,
        [&](int) {
            QTest::keyClick(text, Qt::Key_X);
            idle();
        },
        idle);
    window->editor().revert();
    Bench::measure(
        "tick a master macro", 10,
        [&](int i) {
            tree->topLevelItem(i)->setCheckState(0, Qt::Checked);
            idle();
        },
        [&](int i) { tree->topLevelItem(i)->setCheckState(0, Qt::Unchecked); });
    tree->topLevelItem(0)->setCheckState(0, Qt::Checked);
    Bench::measure(
        "switch to another master macro", 10,
        [&](int i) {
            tree->topLevelItem(i + 1)->setCheckState(0, Qt::Checked);
            idle();
        },
        idle);
    Bench::measure(
        "untick", 10,
        [&](int i) {
            tree->topLevelItem(i + 1)->setCheckState(0, Qt::Unchecked);
            idle();
        },
        [&](int i) { tree->topLevelItem(i + 2)->setCheckState(0, Qt::Checked); });

    // The press is looked up and the text put on the clipboard at once; the paste waits (made
    // short here, as it is not measured). Master macros of one and of 10,000 notes are added to
    // the store behind the window's back: the live one is read from the store by name.
    KeyRegistration &keys = program->keys();
    program->engine().setTiming({20, 20, Delivery::Timing().giveUpMs});
    const auto delivered = [](int) { QTest::qWait(100); };
    Bench::addMaster(QStringLiteral("One"), 1);
    Bench::addMaster(QStringLiteral("Ten thousand"), 10000);
    const int code = Bench::allCodes().at(0); // note 0's, in both
    const auto press = [&](int) {
        Q_EMIT keys.pressed(code);
        QApplication::clipboard()->text();
    };
    window->live().choose(QStringLiteral("One"));
    Bench::measure("hot key to clipboard, 1 note", 9, press, delivered);
    window->live().choose(QStringLiteral("Ten thousand"));
    Bench::measure("hot key to clipboard, 10,000 notes", 9, press, delivered);
    // The live master macro's notes are read again at the first press after the file changed.
    Bench::measure("  after the store file changed", 5, press, [&](int i) {
        delivered(i);
        window->store().saveNote(QStringLiteral("One"), QStringLiteral("Note 000000"), code,
                                 QStringLiteral("changed %1").arg(i));
    });
    window->live().choose(QString());
    window->store().remove(QStringLiteral("One"));
    window->store().remove(QStringLiteral("Ten thousand"));

    Bench::measure(
        "open the export dialog", 5,
        [&](int) {
            ExportDlg dialog(window->store(), dialogs, window);
            dialog.show();
            if (!QTest::qWaitForWindowExposed(&dialog))
                std::printf("the dialog was not exposed\n");
            idle();
        },
        idle);

    // Ten print previews of every master macro through the window's own command (the window
    // shown, as it is whenever that command can be reached), each closed once its pages are
    // drawn: what the process holds after them beside what it held before.
    QAction *printAll = nullptr;
    for (QAction *action : window->findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("&Print All Master Macros"))
            printAll = action;
    }
    if (!printAll)
        return std::printf("no Print All command\n"), 1;
    QTimer closer;
    closer.callOnTimeout([&] {
        if (auto *preview = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            closer.stop();
            preview->reject();
        }
    });
    HeapRelease::release(); // what the measures above freed is not the previews'
    const double before = Bench::statusMiB("VmRSS");
    const double heapBefore = Bench::statusMiB("RssAnon");
    Bench::measure(
        "print preview of every note", 10,
        [&](int) {
            closer.start(50);
            printAll->trigger();
        },
        idle);
    std::printf("  after 10 previews: RSS %+.1f MiB of %.1f before (heap %+.1f)\n",
                Bench::statusMiB("VmRSS") - before, before,
                Bench::statusMiB("RssAnon") - heapBefore);
    return 0;
}
