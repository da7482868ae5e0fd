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

class TestHotKeyController final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    MacroStore m_store;
    QStringList m_pasted; // the clipboard at each paste key stroke

private Q_SLOTS:
    void initTestCase()
    {
        TestEnvironment::writeNote("A", "one", Qt::CTRL | Qt::ALT | Qt::Key_A, "first A");
        TestEnvironment::writeNote("A", "two", Qt::CTRL | Qt::ALT | Qt::Key_A, "second A");
        TestEnvironment::writeNote("A", "three", Qt::CTRL | Qt::ALT | Qt::Key_B, "B");
        TestEnvironment::writeNote("A", "none", 0, "never");
        TestEnvironment::writeNote("C", "c", Qt::CTRL | Qt::ALT | Qt::Key_C, "C");
    }

    void activationFollowsTheMasterMacro()
    {
        HotKeyController keys(m_store);
        QSignalSpy unavailable(&keys, &HotKeyController::unavailableChanged);
        keys.activate("A");
        QCOMPARE(keys.activeMaster(), "A");
        QCOMPARE(keys.liveCodes().size(), 3); // "none" holds no key
        // Offscreen there is no back-end: each code is reported once, with the reason.
        QCOMPARE(keys.unavailable().size(), 2);
        QCOMPARE(unavailable.size(), 1);
        keys.activate("C");
        QCOMPARE(keys.liveCodes(), QList<int>{(Qt::CTRL | Qt::ALT | Qt::Key_C).toCombined()});
        keys.renameActive("C", "D");
        QVERIFY(keys.isActive("D"));
        keys.deactivate();
        QVERIFY(keys.liveCodes().isEmpty() && keys.unavailable().isEmpty());
        QCOMPARE(unavailable.size(), 3);
    }

    void presses_data()
    {
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<QStringList>("pasted");
        const int a = (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined();
        const int b = (Qt::CTRL | Qt::ALT | Qt::Key_B).toCombined();
        const int c = (Qt::CTRL | Qt::ALT | Qt::Key_C).toCombined();
        QTest::newRow("one press, one paste") << QList<int>{a} << QStringList{"first A"};
        QTest::newRow("in press order") << QList<int>{b, a} << QStringList{"B", "first A"};
        QTest::newRow("other master macro") << QList<int>{c, b} << QStringList{"B"};
    }
    void presses()
    {
        QFETCH(QList<int>, codes);
        QFETCH(QStringList, pasted);
        HotKeyController keys(m_store);
        m_pasted.clear();
        keys.setPaste([this] { m_pasted << QGuiApplication::clipboard()->text(); });
        keys.activate("A");
        QElapsedTimer clock;
        clock.start();
        for (int code : codes)
            keys.press(code);
        QTRY_COMPARE_WITH_TIMEOUT(m_pasted, pasted, 6000);
        // Each paste waits its own full second after its own clipboard write, and the one after
        // it waits until the target has had time to fetch it.
        const int waits = int(pasted.size());
        QVERIFY(clock.elapsed() >= waits * HotKeyController::PasteDelayMs +
                                       (waits - 1) * HotKeyController::PasteSettleMs);
        QTest::qWait(HotKeyController::PasteDelayMs + HotKeyController::PasteSettleMs);
        QCOMPARE(m_pasted, pasted);
    }
};

QTEST_MAIN(TestHotKeyController)
#include "tst_hotkeycontroller.moc"
