// The guard inside one process, and against objects of another user (a real process run as
// nobody through setpriv).
#include "app/guardsegment.h"
#include "app/singleinstance.h"
#include "support/testenv.h"

#include <cstdio>
#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

using Role = SingleInstanceGuard::Role;

namespace {

// As another user: puts segments (mode 0600) or held locks (mode 0666, never released) on the
// keys, says "ready", and removes them when its input closes.
int squat(const char *kind, int count, char **keys)
{
    QList<int> ids;
    const bool segments = qstrcmp(kind, "segment") == 0;
    for (int i = 0; i < count; ++i) {
        const key_t key = static_cast<key_t>(QByteArray(keys[i]).toInt());
        ids.append(segments ? ::shmget(key, GuardSegment::Size, IPC_CREAT | 0600)
                            : ::semget(key, 1, IPC_CREAT | 0666));
    }
    std::puts("ready");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    for (const int id : ids)
        segments ? ::shmctl(id, IPC_RMID, nullptr) : ::semctl(id, 0, IPC_RMID);
    return 0;
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

private Q_SLOTS:
    void restoreRequestIsPolledOnce();
    void leftoverOfADeadInstanceIsReplaced();
    void guardThatCannotBeHadSaysWhy_data();
    void guardThatCannotBeHadSaysWhy();
    void otherUsersObjectsOnOurKeys_data();
    void otherUsersObjectsOnOurKeys();

private:
    QString freshBase() { return m_env.instanceKey() + QStringLiteral("-%1").arg(++m_serial); }

    TestEnvironment m_env;
    int m_serial = 0;
};

void TestSingleInstance::restoreRequestIsPolledOnce()
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

void TestSingleInstance::leftoverOfADeadInstanceIsReplaced()
{
    const QString base = freshBase();
    const key_t key = GuardSegment::systemKeys(base).value(0, -1);
    QVERIFY(key != -1);
    // A process that made the segment and its lock and died holding the lock.
    const pid_t child = ::fork();
    if (child == 0) {
        ::shmget(key, GuardSegment::Size, IPC_CREAT | 0600);
        ::semget(key, 1, IPC_CREAT | 0600);
        ::_exit(0);
    }
    QCOMPARE(::waitpid(child, nullptr, 0), child);
    const int leftover = ::shmget(key, 0, 0);
    QVERIFY(exists(leftover));

    SingleInstanceGuard first(base);
    QCOMPARE(first.claim(), Role::First);
    QVERIFY(!exists(leftover)); // removed, not reused
    SingleInstanceGuard second(base);
    QCOMPARE(second.claim(), Role::Second);
    QVERIFY(second.sendRestoreRequest()); // the lock is a fresh one, free
}

// What the guard finds (or cannot make) is shown, never written into, and never ends the start.
void TestSingleInstance::guardThatCannotBeHadSaysWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("said");
    QTest::newRow("no folder for the key file")
        << QStringLiteral("/no/such/folder") << 0 << 0 << QStringLiteral("No such file");
    QTest::newRow("segment too small") << QString() << 100 << 0600 << QStringLiteral("100 bytes");
    QTest::newRow("read-only segment") << QString() << 512 << 0400 << QStringLiteral("not write");
}

void TestSingleInstance::guardThatCannotBeHadSaysWhy()
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

void TestSingleInstance::otherUsersObjectsOnOurKeys_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("count");
    QTest::newRow("their segment on our first key") << QStringLiteral("segment") << 1;
    QTest::newRow("their held lock on our first key") << QStringLiteral("lock") << 1;
    QTest::newRow("their segments on all our keys") << QStringLiteral("segment") << 8;
}

void TestSingleInstance::otherUsersObjectsOnOurKeys()
{
    QFETCH(QString, kind);
    QFETCH(int, count);
    if (::geteuid() != 0)
        QSKIP("acting as another user needs root");
    const QString base = freshBase();
    const QList<int> keys = GuardSegment::systemKeys(base);
    QCOMPARE(keys.size(), 8);
    // A copy of this program that the other user may run.
    QTemporaryDir place;
    const QString program = place.filePath(QStringLiteral("squatter"));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
    QVERIFY(QFile::setPermissions(place.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ExeOwner | QFile::ExeOther));
    QStringList arguments = {QStringLiteral("--reuid=65534"),  QStringLiteral("--regid=65534"),
                             QStringLiteral("--clear-groups"), program,
                             QStringLiteral("--squat"),        kind};
    for (int i = 0; i < count; ++i)
        arguments.append(QString::number(keys.at(i)));
    QProcess squatter;
    squatter.start(QStringLiteral("setpriv"), arguments);
    QVERIFY(squatter.waitForReadyRead(10000));
    {
        SingleInstanceGuard first(base);
        if (count == keys.size()) {
            QCOMPARE(first.claim(), Role::Unguarded);
            QVERIFY2(first.problem().contains(QStringLiteral("Other users")),
                     qPrintable(first.problem()));
        } else {
            QCOMPARE(first.claim(), Role::First);
            SingleInstanceGuard second(base);
            QCOMPARE(second.claim(), Role::Second);
            QVERIFY(second.sendRestoreRequest());
            QSignalSpy restores(&first, &SingleInstanceGuard::restoreRequested);
            first.poll();
            QCOMPARE(restores.count(), 1);
        }
    }
    squatter.closeWriteChannel();
    QVERIFY(squatter.waitForFinished(10000));
}

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--squat") == 0)
        return squat(argv[2], argc - 3, argv + 3);
    QCoreApplication app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
