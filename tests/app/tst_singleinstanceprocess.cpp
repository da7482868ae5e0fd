// The guard between real processes of the program, observed from outside: exit codes and the
// windows on the X server (through xdotool and xprop, as a window manager would see them).
#include "app/guardsegment.h"
#include "support/testenv.h"
#include "support/trayhost.h"

#include <memory>
#include <QProcess>
#include <QTest>
#include <vector>

namespace {

const QString Title = QStringLiteral("Key-Quill by Orlenvar");
const QString Program = QStringLiteral(KEYQUILL_BINARY);

QString output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0);
}

// The mapped window of process pid titled title, or "" when there is none.
QString window(QProcess *process, const QString &title = Title)
{
    return output(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--all"),
                   QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                   QString::number(process->processId()), QStringLiteral("--name"),
                   QLatin1Char('^') + title + QLatin1Char('$')});
}

} // namespace

class TestSingleInstanceProcess final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Hidden means hidden in a tray: without one, closing minimizes.
    void initTestCase() { QVERIFY2(m_tray.start(), "needs trayer (scripts/setup.sh --tests)"); }
    void cleanup() { m_processes.clear(); }
    void secondStartRestoresHiddenWindow();
    void guardThatCannotBeMadeShowsWhyThenRuns();

private:
    QProcess *start(const QString &program, const QStringList &arguments,
                    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        m_processes.push_back(std::make_unique<QProcess>());
        QProcess *process = m_processes.back().get();
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, arguments);
        process->waitForStarted();
        return process;
    }
    QProcess *startFirst()
    {
        QProcess *first = start(Program, {QStringLiteral("--minimize-to-tray")});
        // Its window stays hidden: it is ready once it holds the guard.
        QTest::qWaitFor([this] { return GuardSegment::isHeld(m_env.instanceKey()); }, 10000);
        return first;
    }
    int secondStart()
    {
        QProcess *second = start(Program, {});
        return second->waitForFinished(10000) ? second->exitCode() : -1;
    }

    TestEnvironment m_env;
    TrayHost m_tray;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void TestSingleInstanceProcess::secondStartRestoresHiddenWindow()
{
    QProcess *first = startFirst();
    QTest::qWait(500);
    QVERIFY(window(first).isEmpty()); // --minimize-to-tray: no window, only the tray icon
    QCOMPARE(secondStart(), 254);     // -2
    QTRY_VERIFY_WITH_TIMEOUT(!window(first).isEmpty(), 5000);
    const QString state = output(QStringLiteral("xprop"), {QStringLiteral("-id"), window(first),
                                                           QStringLiteral("_NET_WM_STATE")});
    QVERIFY2(state.contains(QStringLiteral("MAXIMIZED_VERT")) &&
                 state.contains(QStringLiteral("MAXIMIZED_HORZ")),
             qPrintable(state));
}

void TestSingleInstanceProcess::guardThatCannotBeMadeShowsWhyThenRuns()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KEYQUILL_INSTANCE_KEY"), QStringLiteral("no/such/folder"));
    QProcess *unguarded = start(Program, {}, env);
    QTRY_VERIFY_WITH_TIMEOUT(!window(unguarded, QStringLiteral("Keyquill")).isEmpty(), 10000);
    QVERIFY(window(unguarded).isEmpty()); // the message comes first
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                               {QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                window(unguarded, QStringLiteral("Keyquill")),
                                QStringLiteral("key"), QStringLiteral("Return")}),
             0);
    QTRY_VERIFY_WITH_TIMEOUT(!window(unguarded).isEmpty(), 10000);
}

QTEST_GUILESS_MAIN(TestSingleInstanceProcess)
#include "tst_singleinstanceprocess.moc"
