// "Pick a note" at 10,000 notes in 100 master macros (or as many as the first argument says, in
// master macros of 100): from the hot key to the popup on screen, each keystroke's refilter (with
// the repaint it causes), and the memory over ten rounds of the popup opened and closed with Esc:
// resident while open, once closed, and once the program has given the freed heap back (the
// reference: before the first round). Offscreen unless QT_QPA_PLATFORM says otherwise.
// Prints the figures; it never passes or fails on time.
#include "benchutil.h"
#include "engine/keyregistration.h"
#include "hotkeys/shortcutregistry.h"
#include "quickpick/quickpick.h"
#include "quickpick/quickpickpopup.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "store/storesnapshot.h"
#include "support/fakeplatform.h"
#include "support/testenv.h"

#include "widgets/heaprelease.h"

#include <cstdio>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestEnvironment environment; // its own settings folder, as the tests have
    const int notes = argc > 1 ? qMax(100, QByteArray(argv[1]).toInt()) : 10000;
    Bench::fillStore(notes / 100, 100);
    const int key = (Qt::CTRL | Qt::ALT | Qt::Key_Q).toCombined();
    MacroStore store;
    FakePlatform platform;
    ShortcutRegistry registry(platform, platform);
    KeyRegistration keys(platform, registry);
    keys.setQuickPickCode(key);
    QuickPick pick(store, keys, platform.platform());
    std::printf("notes in the store: %lld\n", qlonglong(store.snapshot()->noteCount()));

    // The parts of a first press after a change: the store read, then the folding. Later presses
    // find both done.
    Bench::measure(
        "read every note", 9, [&](int) { MacroStore().snapshot(); }, [](int) {});
    const std::shared_ptr<const StoreSnapshot> read = store.snapshot();
    Bench::measure(
        "fold every note", 9, [&](int) { StoreSnapshot(read->masters(), read->stamp()).matcher(); },
        [](int) {});
    HeapRelease::release();
    const double unfolded = Bench::statusMiB("VmRSS");
    read->matcher(); // kept with the snapshot for every later press
    HeapRelease::release();
    std::printf("the folded notes kept with the store: RSS %+.1f MiB\n",
                Bench::statusMiB("VmRSS") - unfolded);

    // Ten rounds of the popup opened and left with Esc, the first pick of the process first.
    HeapRelease::release(); // what reading and folding above freed is not the popup's
    const double before = Bench::statusMiB("VmRSS");
    const double heapBefore = Bench::statusMiB("RssAnon");
    const double filesBefore = Bench::statusMiB("RssFile");
    for (int round = 1; round <= 10; ++round) {
        platform.press(key);
        QCoreApplication::processEvents();
        pick.popup()->repaint();
        const double open = Bench::statusMiB("VmRSS");
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(pick.popup()->findChild<QLineEdit *>(), &escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const double closed = Bench::statusMiB("VmRSS");
        QElapsedTimer givingBack;
        givingBack.start();
        QCoreApplication::processEvents(); // the program gives the heap back once it has gone
        std::printf("pick, round %2d: RSS %+6.1f MiB open, %+6.1f closed, %+6.1f given back in "
                    "%.1f ms (heap %+5.1f, mapped files %+5.1f)\n",
                    round, open - before, closed - before, Bench::statusMiB("VmRSS") - before,
                    double(givingBack.nsecsElapsed()) / 1e6,
                    Bench::statusMiB("RssAnon") - heapBefore,
                    Bench::statusMiB("RssFile") - filesBefore);
    }
    std::printf("pick, after 10 rounds: RSS %+.1f MiB of %.1f before (heap %+.1f, mapped files "
                "%+.1f)\n",
                Bench::statusMiB("VmRSS") - before, before,
                Bench::statusMiB("RssAnon") - heapBefore,
                Bench::statusMiB("RssFile") - filesBefore);
    std::fflush(stdout);

    Bench::measure(
        "hot key to popup painted", 9,
        [&](int) {
            platform.press(key);
            QCoreApplication::processEvents(); // the press reaches the controller queued
            pick.popup()->repaint();
        },
        [&](int) {
            pick.popup()->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        });

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
