// The delivery queue and the bookkeeping of the live hot keys, without a window or an X server
// (offscreen nothing can be registered, and presses come in through press()).
#include "support/testenv.h"

#include "hotkeys/hotkeycontroller.h"
#include "store/macrostore.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

namespace {

const int A = (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined();
const int B = (Qt::CTRL | Qt::ALT | Qt::Key_B).toCombined();
const int C = (Qt::CTRL | Qt::ALT | Qt::Key_C).toCombined();

} // namespace

class TestHotKeyController final : public QObject
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
};

QTEST_MAIN(TestHotKeyController)
#include "tst_hotkeycontroller.moc"
