// Delivery without a window or an X server: the queue and the bookkeeping of the live hot keys
// (offscreen nothing can be registered, and presses come in through press()), which paste key a
// program gets, which hot keys can never fire, and where the user's choices are kept.
#include "support/testenv.h"

#include "hotkeys/consolekeys.h"
#include "hotkeys/hotkeycontroller.h"
#include "hotkeys/pastekeytable.h"
#include "store/macrostore.h"
#include "store/preferences.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

namespace {

const int A = (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined();
const int B = (Qt::CTRL | Qt::ALT | Qt::Key_B).toCombined();
const int C = (Qt::CTRL | Qt::ALT | Qt::Key_C).toCombined();

} // namespace

class TestDelivery final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    MacroStore m_store;

private Q_SLOTS:
    void initTestCase()
    {
        TestEnvironment::writeNote("A", "one", A, "first A");
        TestEnvironment::writeNote("A", "two", A, "second A");
        TestEnvironment::writeNote("A", "three", B, "B");
        TestEnvironment::writeNote("A", "none", 0, "never");
        TestEnvironment::writeNote("C", "c", C, "C");
    }

    void activationFollowsTheMasterMacro()
    {
        HotKeyController keys(m_store);
        QSignalSpy unavailable(&keys, &HotKeyController::unavailableChanged);
        keys.activate("A");
        QCOMPARE(keys.liveCodes(), QList<int>({A, B, A})); // store order; "none" holds no key
        // Offscreen there is no back-end: each code is reported once, with the reason.
        QCOMPARE(keys.unavailable().size(), 2);
        keys.activate("C");
        keys.renameActive("C", "D");
        QVERIFY(keys.isActive("D") && keys.liveCodes() == QList<int>{C});
        keys.deactivate();
        QVERIFY(keys.liveCodes().isEmpty() && keys.unavailable().isEmpty());
        QCOMPARE(unavailable.size(), 3);
    }

    void presses_data()
    {
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<QStringList>("pasted");
        QTest::newRow("one press, one paste") << QList<int>{A} << QStringList{"first A"};
        QTest::newRow("in press order") << QList<int>{B, A} << QStringList{"B", "first A"};
        QTest::newRow("not of the master macro") << QList<int>{C, B} << QStringList{"B"};
    }
    void presses()
    {
        QFETCH(QList<int>, codes);
        QFETCH(QStringList, pasted);
        HotKeyController keys(m_store);
        QStringList seen; // the clipboard at each paste key stroke
        keys.setPaste([&seen] { seen << QGuiApplication::clipboard()->text(); });
        keys.activate("A");
        QElapsedTimer clock;
        clock.start();
        for (int code : codes)
            keys.press(code);
        QTRY_COMPARE_WITH_TIMEOUT(seen, pasted, 6000);
        // Each paste waits its own full second after its own clipboard write, and the one after
        // it waits until the target has had time to fetch it.
        const int n = int(pasted.size());
        QVERIFY(clock.elapsed() >=
                n * HotKeyController::PasteDelayMs + (n - 1) * HotKeyController::PasteSettleMs);
        QTest::qWait(HotKeyController::PasteDelayMs + HotKeyController::PasteSettleMs);
        QCOMPARE(seen, pasted);
    }

    void pasteKey_data()
    {
        QTest::addColumn<QStringList>("wmClass");
        QTest::addColumn<QString>("userClass"); // one entry of the user's, or none when empty
        QTest::addColumn<int>("userStroke");
        QTest::addColumn<int>("stroke");
        QTest::newRow("VTE") << QStringList{"xfce4-terminal", "Xfce4-terminal"} << "" << 0
                             << PasteStroke::CtrlShiftV;
        QTest::newRow("xterm") << QStringList{"xterm", "XTerm"} << "" << 0
                               << PasteStroke::ShiftInsert;
        QTest::newRow("editor") << QStringList{"gedit", "Gedit"} << "" << 0 << PasteStroke::CtrlV;
        QTest::newRow("user's class beats built-in instance")
            << QStringList{"kitty", "Special"} << "SPECIAL" << PasteStroke::CtrlV
            << PasteStroke::CtrlV;
        QTest::newRow("unknown stroke ignored")
            << QStringList{"kitty", "kitty"} << "kitty" << 0x41 << PasteStroke::CtrlShiftV;
    }

    void pasteKey()
    {
        QFETCH(QStringList, wmClass);
        QFETCH(QString, userClass);
        QFETCH(int, userStroke);
        QFETCH(int, stroke);
        QHash<QString, int> user;
        if (!userClass.isEmpty())
            user.insert(userClass, userStroke);
        QCOMPARE(PasteKeyTable(user).strokeFor(wmClass.at(0), wmClass.at(1)), stroke);
    }

    void consoleKeys()
    {
        QVERIFY(ConsoleKeys::isConsoleSwitchKey((Qt::CTRL | Qt::ALT | Qt::Key_F1).toCombined()));
        QVERIFY(ConsoleKeys::isConsoleSwitchKey(
            (Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_F12).toCombined()));
        QVERIFY(!ConsoleKeys::isConsoleSwitchKey((Qt::CTRL | Qt::SHIFT | Qt::Key_F5).toCombined()));
        QVERIFY(!ConsoleKeys::isConsoleSwitchKey((Qt::CTRL | Qt::ALT | Qt::Key_F13).toCombined()));
        QVERIFY(!ConsoleKeys::isConsoleSwitchKey((Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined()));
    }

    void preferencesBesideTheMasterMacros()
    {
        QVERIFY(!Preferences::load().restoreClipboard()); // off until the user asks
        Preferences preferences;
        preferences.setRestoreClipboard(true);
        // A class with a group separator in it still reads back as one class.
        const QHash<QString, int> keys{{"my/term", PasteStroke::ShiftInsert},
                                       {"Editor", PasteStroke::CtrlV}};
        preferences.setPasteKeys(keys);
        QVERIFY(preferences.save());
        QCOMPARE(Preferences::load().pasteKeys(), keys);
        QSettings store;
        QStringList groups = store.childGroups();
        groups.sort();
        QCOMPARE(groups, QStringList({MacroStore::MasterMacrosGroup, Preferences::Group}));
        store.beginGroup(MacroStore::MasterMacrosGroup);
        QCOMPARE(store.childGroups(), QStringList({"A", "C"}));
    }
};

QTEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
