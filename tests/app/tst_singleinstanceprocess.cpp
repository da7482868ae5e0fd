// The guard between real processes of the program, observed from outside: exit codes and the
// windows on the X server (through xdotool and xprop, as a window manager would see them).
#include "app/guardsegment.h"
#include "support/testenv.h"

#include <memory>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include <unistd.h>

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
                  {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                   QStringLiteral("--pid"), QString::number(process->processId()),
                   QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')});
}

} // namespace

class TestSingleInstanceProcess final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { m_processes.clear(); }
    void secondStartRestoresHiddenWindow();
    void otherUsersInstanceDoesNotStopThisUser();
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
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void TestSingleInstanceProcess::secondStartRestoresHiddenWindow()
{
    QProcess *first = startFirst();
    QCOMPARE(secondStart(), 254); // -2
    QTRY_VERIFY_WITH_TIMEOUT(!window(first).isEmpty(), 5000);
    const QString state = output(QStringLiteral("xprop"), {QStringLiteral("-id"), window(first),
                                                           QStringLiteral("_NET_WM_STATE")});
    QVERIFY2(state.contains(QStringLiteral("MAXIMIZED_VERT")) &&
                 state.contains(QStringLiteral("MAXIMIZED_HORZ")),
             qPrintable(state));
}

void TestSingleInstanceProcess::otherUsersInstanceDoesNotStopThisUser()
{
    if (::geteuid() != 0)
        QSKIP("starting the program as another user needs root");
    // The other user runs a copy it can read, with settings it can write, and our guard name.
    QTemporaryDir place;
    const QString copy = place.filePath(QStringLiteral("keyquill"));
    QVERIFY(QFile::copy(Program, copy) && QDir().mkpath(place.filePath(QStringLiteral("home"))));
    QVERIFY(QFile::setPermissions(place.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ExeOwner | QFile::ExeOther));
    QCOMPARE(::chown(QFile::encodeName(place.filePath(QStringLiteral("home"))), 65534, 65534), 0);
    QProcessEnvironment theirs = QProcessEnvironment::systemEnvironment();
    theirs.insert(QStringLiteral("HOME"), place.filePath(QStringLiteral("home")));
    theirs.insert(QStringLiteral("XDG_CONFIG_HOME"), place.filePath(QStringLiteral("home")));
    theirs.remove(QStringLiteral("XDG_RUNTIME_DIR"));

    QProcess *mine = startFirst();
    QProcess *other = start(QStringLiteral("setpriv"),
                            {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                             QStringLiteral("--clear-groups"), copy},
                            theirs);
    QTRY_VERIFY_WITH_TIMEOUT(!window(other).isEmpty(), 10000); // a first instance of its own
    QTest::qWait(1500); // more than one tick of our poll: their start restored nothing of ours
    QVERIFY(window(mine).isEmpty());
    QCOMPARE(secondStart(), 254);
    QTRY_VERIFY_WITH_TIMEOUT(!window(mine).isEmpty(), 5000);
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
