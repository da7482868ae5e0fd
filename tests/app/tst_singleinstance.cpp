// The guard inside one process, against leftovers of a killed instance, between processes that
// start at the same moment, and against objects that another user (nobody, in a child process)
// put on every key they could guess.
#include "app/appidentity.h"
#include "app/guardsegment.h"
#include "app/singleinstance.h"
#include "support/testenv.h"

#include <QtTest>

#include <algorithm>
#include <csignal>
#include <grp.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

using Role = SingleInstanceGuard::Role;
using Found = GuardSegment::Found;

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

bool exists(int segment)
{
    struct shmid_ds status;
    return ::shmctl(segment, IPC_STAT, &status) == 0;
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
            QCOMPARE(restores.count(), 0); // a new segment reads as empty
            for (int i = 0; i < 2; ++i) {  // two second starts before one tick
                SingleInstanceGuard second(base);
                QCOMPARE(second.claim(), Role::Second);
                QVERIFY(second.sendRestoreRequest());
            }
            first.poll();
            first.poll();
            QCOMPARE(restores.count(), 1);

            GuardSegment writer(base);
            QCOMPARE(writer.open(), Found::Live);
            for (const QByteArray &text : {QByteArray("Restore"), QByteArray("restore!"),
                                           QByteArray("restor"), QByteArray(512, 'r')}) {
                std::memcpy(writer.data(), text.constData(), qMin(text.size() + 1, qsizetype(512)));
                first.poll();
                QCOMPARE(restores.count(), 1);
                QCOMPARE(writer.data()[0], '\0');
                QCOMPARE(writer.data()[1], text.at(1)); // only byte 0 is cleared
            }
        }
        // Once the first has gone, the next start is a first instance again.
        SingleInstanceGuard next(base);
        QCOMPARE(next.claim(), Role::First);
    }

    void leftoverOfAKilledInstanceIsReplaced()
    {
        const QString base = freshBase();
        const pid_t killed = inChild([&base] { // an instance that dies holding its lock
            GuardSegment guard(base);
            return guard.open() == Found::Created && guard.lock(0) ? ::raise(SIGSTOP) : 1;
        });
        QVERIFY(stopped(killed));
        const int leftover = ::shmget(GuardSegment::publishedKey(base), 0, 0);
        end(killed);
        QVERIFY(exists(leftover));

        SingleInstanceGuard first(base);
        QCOMPARE(first.claim(), Role::First);
        QVERIFY(!exists(leftover)); // removed, not reused
        SingleInstanceGuard second(base);
        QCOMPARE(second.claim(), Role::Second);
        QVERIFY(second.sendRestoreRequest()); // the lock is a fresh one, free
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
                GuardSegment guard(base);
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

    // What the guard finds (or cannot make) is shown, never written into, and never ends the
    // start.
    void guardThatCannotBeHadSaysWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size"); // of the segment the live instance names; 0: none
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("said");
        QTest::newRow("no folder for the key file")
            << "/no/such/folder" << 0 << 0 << "No such file";
        QTest::newRow("live instance unreachable") << QString() << 0 << 0 << "cannot reach";
        QTest::newRow("segment too small") << QString() << 100 << 0600 << "100 bytes";
        QTest::newRow("read-only segment") << QString() << 512 << 0400 << "not write";
    }
    void guardThatCannotBeHadSaysWhy()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        QFETCH(int, mode);
        QFETCH(QString, said);
        const QString base = freshBase() + name;
        // A live instance whose named segment is replaced by another one of ours.
        GuardSegment live(base);
        if (live.open() == Found::Created)
            ::shmctl(::shmget(GuardSegment::publishedKey(base), 0, 0), IPC_RMID, nullptr);
        const int segment =
            size == 0 ? -1
                      : ::shmget(GuardSegment::publishedKey(base), size_t(size), IPC_CREAT | mode);
        const void *bytes = segment == -1 ? nullptr : ::shmat(segment, nullptr, SHM_RDONLY);
        QVERIFY(size == 0 || (bytes && bytes != reinterpret_cast<void *>(-1)));
        {
            SingleInstanceGuard guard(base);
            QCOMPARE(guard.claim(), Role::Unguarded);
            QVERIFY2(guard.problem().contains(said), qPrintable(guard.problem()));
            guard.poll();
            QVERIFY(!guard.sendRestoreRequest());
        }
        if (bytes) {
            QCOMPARE(static_cast<const char *>(bytes)[0], '\0');
            ::shmdt(bytes);
            ::shmctl(segment, IPC_RMID, nullptr);
        }
    }

    void otherUserCannotTakeOurGuard()
    {
        if (::geteuid() != 0)
            QSKIP("acting as another user needs root");
        const QString base = freshBase();
        SingleInstanceGuard(base).claim(); // leaves the files the guard keeps between starts
        // Every key that ftok gives for those files, as if the other user could see them.
        QList<key_t> keys;
        const QFileInfoList files = QDir(m_runtime.path()).entryInfoList({base + QLatin1Char('*')});
        for (const QFileInfo &file : files)
            for (int id = 1; id < 256; ++id)
                keys.append(::ftok(QFile::encodeName(file.filePath()).constData(), id));
        QVERIFY(!keys.isEmpty());
        // On each a segment and a held lock that anyone may use.
        const pid_t squatter = inChild([&keys] {
            if (::setgroups(0, nullptr) || ::setgid(65534) || ::setuid(65534))
                return 1;
            for (const key_t key : keys)
                if (::shmget(key, GuardSegment::Size, IPC_CREAT | 0666) == -1 ||
                    ::semget(key, 1, IPC_CREAT | 0666) == -1)
                    return 1;
            return ::raise(SIGSTOP);
        });
        const auto removeThem = qScopeGuard([&keys, squatter] {
            end(squatter);
            for (const key_t key : keys) {
                ::shmctl(::shmget(key, 0, 0), IPC_RMID, nullptr);
                ::semctl(::semget(key, 0, 0), 0, IPC_RMID);
            }
        });
        QVERIFY(stopped(squatter));

        SingleInstanceGuard first(base);
        QCOMPARE(first.claim(), Role::First);
        SingleInstanceGuard second(base);
        QCOMPARE(second.claim(), Role::Second);
        QVERIFY(second.sendRestoreRequest());
        QSignalSpy restores(&first, &SingleInstanceGuard::restoreRequested);
        first.poll();
        QCOMPARE(restores.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
