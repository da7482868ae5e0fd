// The guard between real processes of the program, observed from outside: exit codes and the
// windows on the X server (through xdotool and xprop, as a window manager would see them).
#include "app/guardsegment.h"
#include "support/testenv.h"

#include <memory>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include <unistd.h>

namespace {

const QString Title = QStringLiteral("Key-Quill by Orlenvar");
constexpr int SecondStartExit = 254; // -2 as the parent sees the exit status

QString output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The mapped window of process pid titled title, or "" when there is none.
QString visibleWindow(qint64 pid, const QString &title)
{
    return output(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                   QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"),
                   QLatin1Char('^') + title + QLatin1Char('$')})
        .section(QLatin1Char('\n'), 0, 0);
}

bool isMaximized(const QString &window)
{
    const QString state = output(QStringLiteral("xprop"),
                                 {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_STATE")});
    return state.contains(QStringLiteral("MAXIMIZED_VERT")) &&
           state.contains(QStringLiteral("MAXIMIZED_HORZ"));
}

} // namespace

class TestSingleInstanceProcess final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup() { m_processes.clear(); }
    void secondStartRestoresHiddenWindow();
    void otherUsersInstanceDoesNotStopThisUser();
    void guardThatCannotBeMadeShowsWhyThenRuns();

private:
    QProcess *start(const QStringList &arguments = {}, const QStringList &wrapper = {},
                    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());
    // Until this user's instance holds the guard (its window may still be on its way).
    bool guardHeld() const { return GuardSegment::isHeld(m_env.instanceKey()); }

    TestEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

QProcess *TestSingleInstanceProcess::start(const QStringList &arguments,
                                           const QStringList &wrapper,
                                           const QProcessEnvironment &env)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (wrapper.isEmpty())
        process->start(QStringLiteral(KEYQUILL_BINARY), arguments);
    else
        process->start(wrapper.first(), wrapper.mid(1) + arguments);
    process->waitForStarted();
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

void TestSingleInstanceProcess::initTestCase()
{
    for (const char *tool : {"xdotool", "xprop"})
        QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(),
                 "scripts/setup.sh --tests installs xdotool and xprop");
}

void TestSingleInstanceProcess::secondStartRestoresHiddenWindow()
{
    QProcess *first = start({QStringLiteral("--minimize-to-tray")});
    QTRY_VERIFY_WITH_TIMEOUT(guardHeld(), 10000);
    QTest::qWait(500);
    QVERIFY(visibleWindow(first->processId(), Title).isEmpty());

    QProcess *second = start();
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), SecondStartExit);
    QTRY_VERIFY_WITH_TIMEOUT(!visibleWindow(first->processId(), Title).isEmpty(), 5000);
    QTRY_VERIFY(isMaximized(visibleWindow(first->processId(), Title)));
}

void TestSingleInstanceProcess::otherUsersInstanceDoesNotStopThisUser()
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("starting the program as another user needs root and setpriv");
    // The other user runs a copy it can read, with settings it can write, and our guard name.
    QTemporaryDir place;
    const QString program = place.filePath(QStringLiteral("keyquill"));
    const QString config = place.filePath(QStringLiteral("config"));
    QVERIFY(QFile::copy(QStringLiteral(KEYQUILL_BINARY), program));
    QVERIFY(QDir().mkpath(config));
    QVERIFY(QFile::setPermissions(place.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ExeOwner | QFile::ExeOther));
    QCOMPARE(::chown(QFile::encodeName(config).constData(), 65534, 65534), 0);
    QProcessEnvironment theirEnv = QProcessEnvironment::systemEnvironment();
    theirEnv.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    theirEnv.insert(QStringLiteral("HOME"), config);
    theirEnv.remove(QStringLiteral("XDG_RUNTIME_DIR"));

    QProcess *mine = start({QStringLiteral("--minimize-to-tray")});
    QTRY_VERIFY_WITH_TIMEOUT(guardHeld(), 10000);
    QProcess *theirs = start({program}, {QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                                         QStringLiteral("--regid=65534"),
                                         QStringLiteral("--clear-groups")},
                             theirEnv);
    QTRY_VERIFY_WITH_TIMEOUT(!visibleWindow(theirs->processId(), Title).isEmpty(), 10000);
    QTest::qWait(1500); // more than one tick of our poll: their start restored nothing of ours
    QVERIFY(visibleWindow(mine->processId(), Title).isEmpty());

    QProcess *second = start();
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), SecondStartExit);
    QTRY_VERIFY_WITH_TIMEOUT(!visibleWindow(mine->processId(), Title).isEmpty(), 5000);
    QCOMPARE(theirs->state(), QProcess::Running);
}

void TestSingleInstanceProcess::guardThatCannotBeMadeShowsWhyThenRuns()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KEYQUILL_INSTANCE_KEY"), QStringLiteral("no/such/folder"));
    QProcess *unguarded = start({}, {}, env);
    QString box;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(box = visibleWindow(unguarded->processId(), QStringLiteral("Keyquill"))).isEmpty(),
        10000);
    QVERIFY(visibleWindow(unguarded->processId(), Title).isEmpty());
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"),
                                                           QStringLiteral("--sync"), box,
                                                           QStringLiteral("key"),
                                                           QStringLiteral("Return")}),
             0);
    QTRY_VERIFY_WITH_TIMEOUT(!visibleWindow(unguarded->processId(), Title).isEmpty(), 10000);
    QCOMPARE(unguarded->state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestSingleInstanceProcess)
#include "tst_singleinstanceprocess.moc"
