// The guard inside one process, against leftovers of a killed instance, between processes that
// start at the same moment, with what a running instance may lack, and against what another
// user (nobody, in a child process) can do: fill the system's shared-memory table, start it too.
#include "app/appidentity.h"
#include "app/guardchannel.h"
#include "app/singleinstance.h"
#include "support/testenv.h"

#include <QtTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

using Role = SingleInstanceGuard::Role;
using Found = GuardChannel::Found;

namespace {

// Runs `body` in a child process that exits with what it returns.
template <typename Body> pid_t inChild(Body body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    return child;
}

// Waits for a child that stopped itself; false when it ended instead.
bool stopped(pid_t child)
{
    int status = 0;
    return child > 0 && ::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status);
}

void end(pid_t child)
{
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

int exitCode(pid_t child)
{
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

class TestSingleInstance final : public QObject
{
    Q_OBJECT

    QString freshBase() { return m_env.instanceKey() + QStringLiteral("-%1").arg(++m_serial); }

    TestEnvironment m_env;
    QTemporaryDir m_runtime; // 0700: the private folder the guard keeps its files in
    int m_serial = 0;

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path())); }

    void startsHiddenOnlyOnTheExactOption_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("exact") << "--minimize-to-tray" << true;
        QTest::newRow("other letter case") << "--Minimize-To-Tray" << false;
        QTest::newRow("with a value") << "--minimize-to-tray=1" << false;
    }
    void startsHiddenOnlyOnTheExactOption()
    {
        QFETCH(QString, option);
        QTEST(AppIdentity::wantsMinimizeToTray({"keyquill", option}), "hidden");
    }

    void restoreRequestIsPolledOnce()
    {
        const QString base = freshBase();
        {
            SingleInstanceGuard first(base);
            QCOMPARE(first.claim(), Role::First);
            QSignalSpy restores(&first, &SingleInstanceGuard::restoreRequested);
            first.poll();
            QCOMPARE(restores.count(), 0); // a new channel holds nothing
            for (int i = 0; i < 2; ++i) {  // two second starts before one tick
                SingleInstanceGuard second(base);
                QCOMPARE(second.claim(), Role::Second);
                QVERIFY(second.sendRestoreRequest());
            }
            first.poll();
            first.poll();
            QCOMPARE(restores.count(), 1);

            GuardChannel writer(base);
            QCOMPARE(writer.open(), Found::Live);
            for (const QByteArray &text : {QByteArray("Restore"), QByteArray("restore!"),
                                           QByteArray("restor"), QByteArray(511, 'r')}) {
                QVERIFY(writer.send(text));
                first.poll();
                QCOMPARE(restores.count(), 1);
            }
            QVERIFY(!writer.send(QByteArray(512, 'r')));
        }
        // Once the first has gone, the next start is a first instance again.
        SingleInstanceGuard next(base);
        QCOMPARE(next.claim(), Role::First);
    }

    void leftoverOfAKilledInstanceIsReplaced()
    {
        const QString base = freshBase();
        const pid_t killed = inChild([&base] { // an instance that dies before it reads a request
            GuardChannel guard(base);
            return guard.open() == Found::Created ? ::raise(SIGSTOP) : 1;
        });
        QVERIFY(stopped(killed));
        {
            SingleInstanceGuard second(base);
            QCOMPARE(second.claim(), Role::Second);
            QVERIFY(second.sendRestoreRequest());
        }
        end(killed);

        SingleInstanceGuard first(base);
        QCOMPARE(first.claim(), Role::First);
        QSignalSpy restores(&first, &SingleInstanceGuard::restoreRequested);
        first.poll();
        QCOMPARE(restores.count(), 0); // the request was the killed one's
        SingleInstanceGuard second(base);
        QCOMPARE(second.claim(), Role::Second);
        QVERIFY(second.sendRestoreRequest());
        first.poll();
        QCOMPARE(restores.count(), 1);
    }

    void startsAtTheSameMomentMakeOneFirst()
    {
        const QString base = freshBase();
        int go[2];
        QVERIFY(::pipe(go) == 0);
        QList<pid_t> starts;
        for (int i = 0; i < 4; ++i)
            starts << inChild([&base, &go] {
                ::close(go[1]);
                char byte;
                ::read(go[0], &byte, 1); // all go on when the parent closes its end
                GuardChannel guard(base);
                const Found found = guard.open();
                if (found == Found::Created)
                    ::raise(SIGSTOP); // holds the guard until every start has looked
                return int(found);
            });
        ::close(go[0]);
        ::close(go[1]);
        QList<Found> found;
        pid_t first = 0;
        for (const pid_t start : starts) {
            int status = 0;
            ::waitpid(start, &status, WUNTRACED);
            first = WIFSTOPPED(status) ? start : first;
            found.append(WIFSTOPPED(status) ? Found::Created : Found(WEXITSTATUS(status)));
        }
        if (first > 0 && ::kill(first, SIGCONT) == 0)
            ::waitpid(first, nullptr, 0);
        std::sort(found.begin(), found.end());
        QCOMPARE(found, QList<Found>({Found::Created, Found::Live, Found::Live, Found::Live}));
    }

    // Whoever holds the lock runs: a second start leaves with -2 whatever else it finds, and
    // writes nothing into what is not a channel of ours. Without any lock the program runs and
    // says why.
    void guardFoundWithoutAChannel_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("channel"); // what lies where the first keeps its channel
        QTest::addColumn<Role>("role");
        QTest::addColumn<QString>("said");
        QTest::newRow("no folder for the lock file")
            << "/no/such/folder" << QString() << Role::Unguarded << "No such file";
        QTest::newRow("first without its channel") << QString() << "" << Role::Second << "";
        QTest::newRow("a file instead of the channel") << QString() << "file" << Role::Second << "";
    }
    void guardFoundWithoutAChannel()
    {
        QFETCH(QString, name);
        QFETCH(QString, channel);
        QFETCH(Role, role);
        QFETCH(QString, said);
        const QString base = freshBase() + name;
        const QString files = m_runtime.path() + '/' + base;
        // A first that holds the lock and has made no channel (yet, or ever).
        const int lock = ::open(QFile::encodeName(files + ".lock"), O_RDONLY | O_CREAT, 0600);
        const auto unlock = qScopeGuard([lock] { ::close(lock); });
        QCOMPARE(lock == -1 || ::flock(lock, LOCK_EX) == 0, true);
        QFile file(files + ".fifo");
        QVERIFY(channel != "file" || file.open(QIODevice::WriteOnly));
        file.close();

        SingleInstanceGuard guard(base);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(guard.claim(), role);
        QVERIFY2(guard.problem().contains(said), qPrintable(guard.problem()));
        QVERIFY(!guard.sendRestoreRequest());
        QVERIFY(clock.elapsed() < 5000); // a first that cannot be reached is not waited for
        guard.poll();
        QCOMPARE(file.size(), 0);
    }

    // Nothing another user can do switches the guard off: filling the system's table of shared
    // memory segments (in an IPC namespace of its own here, as it would for everyone), or
    // starting the program itself, which finds a guard of its own and cannot reach ours.
    void othersCannotSwitchTheGuardOff_data()
    {
        QTest::addColumn<bool>("fillIpcTable");
        QTest::newRow("shared memory table full") << true;
        QTest::newRow("another user starts it") << false;
    }
    void othersCannotSwitchTheGuardOff()
    {
        QFETCH(bool, fillIpcTable);
        if (::geteuid() != 0)
            QSKIP("acting as another user needs root");
        const QString base = freshBase();
        SingleInstanceGuard first(base);
        QCOMPARE(first.claim(), Role::First);
        QSignalSpy restores(&first, &SingleInstanceGuard::restoreRequested);
        const QByteArray ours = QFile::encodeName(m_runtime.path() + '/' + base + ".fifo");
        const pid_t other = inChild([&] {
            if (fillIpcTable) {
                if (::unshare(CLONE_NEWIPC) != 0)
                    return 2;
                int made = 0;
                while (made < 1000000 && ::shmget(IPC_PRIVATE, 1, 0600) != -1)
                    ++made;
                if (errno != ENOSPC)
                    return 3;
                // Our own starts, in that namespace: one first, one second that reaches it.
                GuardChannel again(base + "-full");
                GuardChannel second(base + "-full");
                return again.open() == Found::Created && second.open() == Found::Live &&
                               second.send("restore") && again.receive().contains("restore")
                           ? 0
                           : 4;
            }
            if (::setgroups(0, nullptr) || ::setgid(65534) || ::setuid(65534))
                return 2;
            GuardChannel theirs(base);
            if (theirs.open() != Found::Created)
                return 3;
            return ::open(ours.constData(), O_WRONLY | O_NONBLOCK) == -1 && errno == EACCES ? 0 : 4;
        });
        QCOMPARE(exitCode(other), 0);
        first.poll();
        QCOMPARE(restores.count(), 0);
        SingleInstanceGuard second(base);
        QCOMPARE(second.claim(), Role::Second);
        QVERIFY(second.sendRestoreRequest());
        first.poll();
        QCOMPARE(restores.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
