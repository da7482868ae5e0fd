// The window with 10,000 notes in 100 master macros: start-up to an idle window and the time of
// each user action, painting included. Run it with an X server (QT_QPA_PLATFORM=xcb on a private
// Xvfb) for real painting and grabs, or offscreen.
#include "benchutil.h"
#include "quietplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "exchange/exportdlg.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestEnvironment environment;
    Bench::fillStore(100, 100);
    ScriptedDialogs dialogs;
    QuietPlatform platform;
    const auto idle = [](int = 0) { QApplication::processEvents(); };

    auto window = std::make_unique<MainWindow>(platform);
    Bench::measure(
        "start-up to idle window", 5,
        [&](int) {
            window = std::make_unique<MainWindow>(platform, &dialogs);
            window->showMaximized();
            QTest::qWaitForWindowExposed(window.get());
            idle();
        },
        idle);

    auto *tree = window->findChild<QTreeWidget *>(QStringLiteral("treeMacros"));
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

    // The press is looked up and the text put on the clipboard at once; the paste waits.
    HotKeyController &keys = window->hotKeys();
    const int lastCode = Bench::allCodes().at(99);
    Bench::measure(
        "hot key to clipboard", 3,
        [&](int) {
            keys.press(lastCode);
            QApplication::clipboard()->text();
        },
        [](int) {
            QTest::qWait(HotKeyController::PasteDelayMs + HotKeyController::PasteSettleMs + 100);
        });

    Bench::measure(
        "open the export dialog", 5,
        [&](int) {
            ExportDlg dialog(window->store(), dialogs, window.get());
            dialog.show();
            QTest::qWaitForWindowExposed(&dialog);
            idle();
        },
        idle);
    return 0;
}
