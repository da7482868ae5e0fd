// The guard inside one process, and against objects that another user (nobody, in a child
// process) left on our keys.
#include "app/guardsegment.h"
#include "app/singleinstance.h"
#include "support/testenv.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

using Role = SingleInstanceGuard::Role;

namespace {

// Makes, in a child process of user `uid`, a segment (mode 0600) and/or a lock (mode 0666, never
// released) on each key; the child then stops, alive, until ended. Its id, or -1 when it failed.
pid_t leave(const QList<int> &keys, bool segment, bool lock, uid_t uid)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (uid != ::geteuid() && (::setgroups(0, nullptr) || ::setgid(uid) || ::setuid(uid)))
            ::_exit(1);
        for (const int key : keys)
            if ((segment && ::shmget(key, GuardSegment::Size, IPC_CREAT | 0600) == -1) ||
                (lock && ::semget(key, 1, IPC_CREAT | 0666) == -1))
                ::_exit(1);
        ::raise(SIGSTOP);
        ::_exit(0);
    }
    int status = 0;
    return ::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status) ? child : -1;
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
    int m_serial = 0;

private Q_SLOTS:
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
            QCOMPARE(writer.open(), GuardSegment::Found::Live);
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

    void leftoverOfADeadInstanceIsReplaced()
    {
        const QString base = freshBase();
        const key_t key = GuardSegment::systemKeys(base).value(0, -1);
        // A process of ours that made the segment and its lock and died holding the lock.
        const pid_t maker = key == -1 ? -1 : leave({key}, true, true, ::geteuid());
        QVERIFY(maker > 0);
        end(maker);
        const int leftover = ::shmget(key, 0, 0);
        QVERIFY(exists(leftover));

        SingleInstanceGuard first(base);
        QCOMPARE(first.claim(), Role::First);
        QVERIFY(!exists(leftover)); // removed, not reused
        SingleInstanceGuard second(base);
        QCOMPARE(second.claim(), Role::Second);
        QVERIFY(second.sendRestoreRequest()); // the lock is a fresh one, free
    }

    // What the guard finds (or cannot make) is shown, never written into, and never ends the
    // start.
    void guardThatCannotBeHadSaysWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("said");
        QTest::newRow("no folder for the key file")
            << "/no/such/folder" << 0 << 0 << "No such file";
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
        const int segment = size == 0 ? -1
                                      : ::shmget(GuardSegment::systemKeys(base).value(0, -1),
                                                 size_t(size), IPC_CREAT | IPC_EXCL | mode);
        static char unused = 'x';
        char *bytes = segment == -1 ? &unused : static_cast<char *>(::shmat(segment, nullptr, 0));
        bytes[0] = 'x'; // attached: a live one
        {
            SingleInstanceGuard guard(base);
            QCOMPARE(guard.claim(), Role::Unguarded);
            QVERIFY2(guard.problem().contains(said), qPrintable(guard.problem()));
            guard.poll();
            QVERIFY(!guard.sendRestoreRequest());
        }
        QCOMPARE(bytes[0], 'x');
        if (segment != -1) {
            ::shmdt(bytes);
            ::shmctl(segment, IPC_RMID, nullptr);
        }
    }

    void otherUsersObjectsOnOurKeys_data()
    {
        QTest::addColumn<bool>("segment"); // or a held lock
        QTest::addColumn<int>("count");
        QTest::newRow("their segment on our first key") << true << 1;
        QTest::newRow("their held lock on our first key") << false << 1;
        QTest::newRow("their segments on all our keys") << true << 8;
    }
    void otherUsersObjectsOnOurKeys()
    {
        QFETCH(bool, segment);
        QFETCH(int, count);
        if (::geteuid() != 0)
            QSKIP("acting as another user needs root");
        const QString base = freshBase();
        const QList<int> keys = GuardSegment::systemKeys(base);
        QCOMPARE(keys.size(), 8);
        const pid_t squatter = leave(keys.mid(0, count), segment, !segment, 65534);
        QVERIFY(squatter > 0);
        const auto removeThem = qScopeGuard([&keys, squatter] {
            end(squatter);
            for (const int key : keys) {
                ::shmctl(::shmget(key, 0, 0), IPC_RMID, nullptr);
                ::semctl(::semget(key, 0, 0), 0, IPC_RMID);
            }
        });
        SingleInstanceGuard first(base);
        if (count == keys.size()) {
            QCOMPARE(first.claim(), Role::Unguarded);
            QVERIFY2(first.problem().contains(QStringLiteral("Other users")),
                     qPrintable(first.problem()));
            return;
        }
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
