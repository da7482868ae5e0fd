// "Pick a note" at 10,000 notes in 100 master macros: from the hot key to the popup on screen,
// each keystroke's refilter (with the repaint it causes), and the memory the popup holds while
// open and gives back when it closes. Offscreen unless QT_QPA_PLATFORM says otherwise.
// Prints the figures; it never passes or fails on time.
#include "benchutil.h"
#include "hotkeys/hotkeycontroller.h"
#include "quickpick/quickpick.h"
#include "quickpick/quickpickpopup.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "support/fakeplatform.h"
#include "support/testenv.h"

#include <cstdio>
#include <malloc.h>
#include <QApplication>
#include <QLineEdit>

namespace {

double heapMiB()
{
    malloc_trim(0);
    return double(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestEnvironment environment; // its own settings folder, as the tests have
    Bench::fillStore(100, 100);
    const int key = (Qt::CTRL | Qt::ALT | Qt::Key_Q).toCombined();
    MacroStore store;
    FakePlatform platform;
    HotKeyController hotKeys(platform);
    Preferences preferences;
    preferences.setQuickPickShortcut(key);
    hotKeys.setPreferences(preferences);
    QuickPick pick(store, hotKeys, platform);
    std::printf("notes in the store: %lld\n", qlonglong(QuickPick::entries(store).size()));

    // The parts of opening: the store read, then the folding.
    Bench::measure(
        "read every note", 9, [&](int) { QuickPick::entries(store); }, [](int) {});
    const QList<NoteMatcher::Entry> entries = QuickPick::entries(store);
    Bench::measure(
        "fold every note", 9, [&](int) { NoteMatcher matcher(entries); }, [](int) {});

    const double idle = heapMiB();
    double open = 0;
    Bench::measure(
        "hot key to popup painted", 9,
        [&](int) {
            platform.press(key);
            QCoreApplication::processEvents(); // the press reaches the controller queued
            pick.popup()->repaint();
        },
        [&](int) {
            open = heapMiB() - idle;
            pick.popup()->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        });
    std::printf("heap held while open: %8.2f MiB; after close: %+.2f MiB\n", open,
                heapMiB() - idle);

    platform.press(key);
    QCoreApplication::processEvents();
    auto *search = pick.popup()->findChild<QLineEdit *>(QStringLiteral("search"));
    // A user typing a note's name, then a word of every text, then one of none.
    const QString typed = QStringLiteral("note 0042 customer master 042 zz");
    Bench::measure(
        "keystroke: refilter and repaint", int(typed.size()),
        [&](int i) {
            search->setText(typed.left(i + 1));
            pick.popup()->repaint();
        },
        [](int) {});
    Bench::measure(
        "keystroke: first letter, all rows", 9,
        [&](int i) {
            search->setText(i % 2 ? QStringLiteral("d") : QStringLiteral("e"));
            pick.popup()->repaint();
        },
        [](int) {});
    pick.popup()->close();
    return 0;
}
