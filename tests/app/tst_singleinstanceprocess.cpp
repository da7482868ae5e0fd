// The guard between real processes of the program, observed from outside: exit codes and the
// windows on the X server (through xdotool and xprop, as a window manager would see them).
#include "app/guardsegment.h"
#include "support/testenv.h"
#include "support/trayhost.h"

#include <QtTest>

namespace {

QString output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).section('\n', 0, 0);
}

// The mapped window of the process titled title, or "" when there is none.
QString window(const QProcess &process, const QString &title = "Key-Quill by Orlenvar")
{
    return output("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                              QString::number(process.processId()), "--name", '^' + title + '$'});
}

void start(QProcess &process, const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(KEYQUILL_BINARY, arguments);
    process.waitForStarted();
}

} // namespace

class TestSingleInstanceProcess final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    TrayHost m_tray;
    QTemporaryDir m_runtime; // the guard's private folder, gone with the test

private Q_SLOTS:
    // Hidden means hidden in a tray: without one, closing minimizes.
    void initTestCase()
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        QVERIFY2(m_tray.start(), "needs trayer (scripts/setup.sh --tests)");
    }
    // The instances were killed: a next first start removes what they left in the kernel.
    void cleanupTestCase() { GuardSegment(m_env.instanceKey()).open(); }

    void secondStartRestoresHiddenWindow()
    {
        QProcess first;
        start(first, {"--minimize-to-tray"});
        // Its window stays hidden: it is ready once it holds the guard.
        QVERIFY(
            QTest::qWaitFor([this] { return GuardSegment::isHeld(m_env.instanceKey()); }, 10000));
        QTest::qWait(500);
        QVERIFY(window(first).isEmpty()); // --minimize-to-tray: no window, only the tray icon
        QProcess second;
        start(second, {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 254); // -2
        QTRY_VERIFY_WITH_TIMEOUT(!window(first).isEmpty(), 5000);
        const QString state = output("xprop", {"-id", window(first), "_NET_WM_STATE"});
        QVERIFY2(state.contains("MAXIMIZED_VERT") && state.contains("MAXIMIZED_HORZ"),
                 qPrintable(state));
    }

    void guardThatCannotBeMadeShowsWhyThenRuns()
    {
        QProcess unguarded;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KEYQUILL_INSTANCE_KEY", "no/such/folder");
        unguarded.setProcessEnvironment(env);
        start(unguarded, {});
        QTRY_VERIFY_WITH_TIMEOUT(!window(unguarded, "Keyquill").isEmpty(), 10000);
        QVERIFY(window(unguarded).isEmpty()); // the message comes first
        QCOMPARE(QProcess::execute("xdotool", {"windowfocus", "--sync",
                                               window(unguarded, "Keyquill"), "key", "Return"}),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(!window(unguarded).isEmpty(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstanceProcess)
#include "tst_singleinstanceprocess.moc"
