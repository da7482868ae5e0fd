// The guard inside one process: request and poll, stale segments, and segments of other users.
#include "app/singleinstance.h"
#include "support/testenv.h"

#include <QFile>
#include <QSharedMemory>
#include <QTest>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

namespace {

constexpr uid_t NobodyUid = 65534;

// Leaves a segment at key as an instance that died would: the key file and a segment with no
// process attached. Returns the segment's id, or -1.
int makeLeftoverSegment(const QString &key)
{
    const QByteArray file = QFile::encodeName(QSharedMemory(key).nativeKey());
    QFile keyFile(QString::fromLocal8Bit(file));
    if (!keyFile.exists() && !keyFile.open(QIODevice::WriteOnly))
        return -1;
    keyFile.close();
    const key_t id = ::ftok(file.constData(), 'Q');
    return id == -1 ? -1 : ::shmget(id, SingleInstanceGuard::SegmentSize, 0600 | IPC_CREAT);
}

bool segmentExists(int shm)
{
    struct shmid_ds status;
    return ::shmctl(shm, IPC_STAT, &status) == 0;
}

} // namespace

class TestSingleInstance final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void restoreRequestIsPolledOnce();
    void otherTextIsClearedWithoutCall();
    void pollWithoutInstanceDoesNothing();
    void secondGuardFailsWhileFirstLives();
    void leftoverSegmentIsCleanedUp();
    void otherUsersSegmentOnOurKeyIsSkipped();
    void keyIsPerUser();

private:
    QString freshBase();

    TestEnvironment m_env;
    int m_serial = 0;
};

QString TestSingleInstance::freshBase()
{
    return m_env.instanceKey() + QStringLiteral("-%1").arg(++m_serial);
}

void TestSingleInstance::restoreRequestIsPolledOnce()
{
    const QString base = freshBase();
    SingleInstanceGuard first(base);
    QVERIFY(first.create());
    QCOMPARE(SingleInstanceGuard::heldKey(base), SingleInstanceGuard::userKey(base));

    int restores = 0;
    const auto count = [&restores] { ++restores; };
    SingleInstanceGuard::pollRestoreRequest(base, count);
    QCOMPARE(restores, 0); // a new segment reads as empty

    for (int i = 0; i < 2; ++i) { // two second starts before one tick
        SingleInstanceGuard second(base);
        QVERIFY(!second.create());
        QVERIFY(second.sendRestoreRequest());
    }
    SingleInstanceGuard::pollRestoreRequest(base, count);
    QCOMPARE(restores, 1);
    SingleInstanceGuard::pollRestoreRequest(base, count);
    QCOMPARE(restores, 1);
}

void TestSingleInstance::otherTextIsClearedWithoutCall()
{
    const QString base = freshBase();
    SingleInstanceGuard first(base);
    QVERIFY(first.create());
    QSharedMemory memory(SingleInstanceGuard::userKey(base));
    QVERIFY(memory.attach());
    for (const QByteArray &text : {QByteArray("Restore"), QByteArray("restore!"),
                                   QByteArray("restor"), QByteArray(512, 'r')}) {
        // With its terminating zero, except for the text that fills the whole segment.
        const int length = qMin(int(text.size()) + 1, SingleInstanceGuard::SegmentSize);
        std::memcpy(memory.data(), text.constData(), static_cast<size_t>(length));
        bool called = false;
        SingleInstanceGuard::pollRestoreRequest(base, [&called] { called = true; });
        QVERIFY2(!called, text.left(20).constData());
        QCOMPARE(static_cast<const char *>(memory.constData())[0], '\0');
    }
}

void TestSingleInstance::pollWithoutInstanceDoesNothing()
{
    bool called = false;
    SingleInstanceGuard::pollRestoreRequest(freshBase(), [&called] { called = true; });
    QVERIFY(!called);
    SingleInstanceGuard lonely(freshBase());
    QVERIFY(!lonely.sendRestoreRequest());
}

void TestSingleInstance::secondGuardFailsWhileFirstLives()
{
    const QString base = freshBase();
    {
        SingleInstanceGuard first(base);
        QVERIFY(first.create());
        SingleInstanceGuard second(base);
        QVERIFY(!second.create());
    }
    // Once the first has gone, the next is a first instance again.
    QVERIFY(SingleInstanceGuard::heldKey(base).isEmpty());
    SingleInstanceGuard next(base);
    QVERIFY(next.create());
}

void TestSingleInstance::leftoverSegmentIsCleanedUp()
{
    const QString base = freshBase();
    const int leftover = makeLeftoverSegment(SingleInstanceGuard::userKey(base));
    QVERIFY(leftover != -1);
    QCOMPARE(SingleInstanceGuard::heldKey(base), SingleInstanceGuard::userKey(base));

    SingleInstanceGuard guard(base);
    QVERIFY(guard.create());
    QVERIFY(!segmentExists(leftover)); // removed, not reused
    QCOMPARE(SingleInstanceGuard::heldKey(base), SingleInstanceGuard::userKey(base));
}

void TestSingleInstance::otherUsersSegmentOnOurKeyIsSkipped()
{
    if (::geteuid() != 0)
        QSKIP("giving a segment to another user needs root");
    const QString base = freshBase();
    const QString ourKey = SingleInstanceGuard::userKey(base);
    // Another user owns both the key file and a segment on our key: a squatted name, or a
    // clash of System V keys.
    const int theirs = makeLeftoverSegment(ourKey);
    QVERIFY(theirs != -1);
    const QByteArray file = QFile::encodeName(QSharedMemory(ourKey).nativeKey());
    QCOMPARE(::chown(file.constData(), NobodyUid, NobodyUid), 0);
    struct shmid_ds status;
    QCOMPARE(::shmctl(theirs, IPC_STAT, &status), 0);
    status.shm_perm.uid = NobodyUid;
    status.shm_perm.gid = NobodyUid;
    QCOMPARE(::shmctl(theirs, IPC_SET, &status), 0);
    QVERIFY(SingleInstanceGuard::heldKey(base).isEmpty());

    {
        SingleInstanceGuard first(base);
        QVERIFY(first.create());
        const QString held = SingleInstanceGuard::heldKey(base);
        QVERIFY(!held.isEmpty());
        QVERIFY(held != ourKey);
        QVERIFY(segmentExists(theirs)); // left alone

        // A second start finds our instance on the spare key and restores ours only.
        SingleInstanceGuard second(base);
        QVERIFY(!second.create());
        QVERIFY(second.sendRestoreRequest());
        bool called = false;
        SingleInstanceGuard::pollRestoreRequest(base, [&called] { called = true; });
        QVERIFY(called);
        QSharedMemory other(ourKey);
        QVERIFY(other.attach(QSharedMemory::ReadOnly));
        QCOMPARE(static_cast<const char *>(other.constData())[0], '\0');
        other.detach();
    }
    ::shmctl(theirs, IPC_RMID, nullptr);
    QFile::remove(QString::fromLocal8Bit(file));
}

void TestSingleInstance::keyIsPerUser()
{
    const QString key = SingleInstanceGuard::userKey(QStringLiteral("keyquill"));
    QVERIFY(key.startsWith(QStringLiteral("keyquill")));
    QVERIFY(key.endsWith(QStringLiteral("-uid%1").arg(::geteuid())));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
