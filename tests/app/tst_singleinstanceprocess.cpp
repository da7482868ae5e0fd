// The single-instance guard between real processes of the program, observed from outside:
// exit codes, the guard segment, and the first instance's window on the X server.
#include "app/singleinstance.h"
#include "support/testenv.h"
#include "support/trayhost.h"
#include "x11windowprobe.h"

#include <memory>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSharedMemory>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

namespace {

const QString Title = QStringLiteral("Key-Quill by Orlenvar");
constexpr int SecondStartExit = 254; // -2 as the parent sees the exit status
constexpr int NobodyUid = 65534;

// The process that created the guard segment behind key, or 0 when there is none.
qint64 creatorOf(const QString &key)
{
    if (key.isEmpty())
        return 0;
    const QByteArray file = QFile::encodeName(QSharedMemory(key).nativeKey());
    const key_t id = ::ftok(file.constData(), 'Q');
    const int shm = id == -1 ? -1 : ::shmget(id, 0, 0);
    struct shmid_ds status;
    if (shm == -1 || ::shmctl(shm, IPC_STAT, &status) != 0)
        return 0;
    return status.shm_cpid;
}

} // namespace

class TestSingleInstanceProcess final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void secondStartRestoresHiddenWindow();
    void secondStartsWithinOneTickRestoreOnce();
    void otherTextIsClearedWithoutEffect_data();
    void otherTextIsClearedWithoutEffect();
    void startAfterQuitIsFirstInstance();
    void startAfterKillIsFirstInstance();
    void otherUsersInstanceDoesNotStopThisUser();

private:
    QProcess *start(const QStringList &arguments = {});
    QProcess *startAsNobody(const QString &program, const QString &configDir);
    bool guardHeld() const { return !SingleInstanceGuard::heldKey(m_env.instanceKey()).isEmpty(); }
    // Byte 0 of the guard segment, read under its lock; -1 when it cannot be read.
    int firstByte() const;
    bool writeSegment(const QByteArray &text) const;
    int runSecondStart();
    void waitUntilFirstInstanceReady(QProcess *first);
    // Opens the window's File menu and picks "&Quit", by keyboard as a user would.
    bool quitThroughMenu(quint32 window) const;

    TestEnvironment m_env;
    X11WindowProbe m_probe;
    TrayHost m_tray; // hidden means hidden in a tray; without one, closing minimizes
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

QProcess *TestSingleInstanceProcess::start(const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(KEYQUILL_BINARY), arguments);
    process->waitForStarted();
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

int TestSingleInstanceProcess::firstByte() const
{
    QSharedMemory memory(SingleInstanceGuard::heldKey(m_env.instanceKey()));
    if (!memory.attach(QSharedMemory::ReadOnly) || !memory.lock())
        return -1;
    const int value = static_cast<const char *>(memory.constData())[0];
    memory.unlock();
    memory.detach();
    return value;
}

bool TestSingleInstanceProcess::writeSegment(const QByteArray &text) const
{
    QSharedMemory memory(SingleInstanceGuard::heldKey(m_env.instanceKey()));
    if (!memory.attach(QSharedMemory::ReadWrite) || !memory.lock())
        return false;
    std::memcpy(memory.data(), text.constData(), static_cast<size_t>(text.size()) + 1);
    memory.unlock();
    memory.detach();
    return true;
}

int TestSingleInstanceProcess::runSecondStart()
{
    QProcess *second = start();
    if (!second->waitForFinished(10000))
        return -1000;
    return second->exitStatus() == QProcess::NormalExit ? second->exitCode() : -1001;
}

void TestSingleInstanceProcess::waitUntilFirstInstanceReady(QProcess *first)
{
    // The guard must be the one this process made, not a segment left by an earlier one.
    QTRY_VERIFY_WITH_TIMEOUT(creatorOf(SingleInstanceGuard::heldKey(m_env.instanceKey())) ==
                                     first->processId() ||
                                 first->state() == QProcess::NotRunning,
                             10000);
    QCOMPARE(first->state(), QProcess::Running);
    // The poll timer starts last in the window's constructor; a cleared byte proves it runs.
    QVERIFY(writeSegment("x"));
    QTRY_COMPARE_WITH_TIMEOUT(firstByte(), 0, 10000);
}

bool TestSingleInstanceProcess::quitThroughMenu(quint32 window) const
{
    return QProcess::execute(
               QStringLiteral("xdotool"),
               {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window),
                QStringLiteral("key"), QStringLiteral("alt+f"), QStringLiteral("sleep"),
                QStringLiteral("0.5"), QStringLiteral("key"), QStringLiteral("q")}) == 0;
}

void TestSingleInstanceProcess::initTestCase()
{
    QVERIFY2(m_probe.isValid(), "needs an X server (DISPLAY)");
    QVERIFY(QFile::exists(QStringLiteral(KEYQUILL_BINARY)));
    QVERIFY2(m_tray.start(), "needs trayer (scripts/setup.sh --tests installs it)");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty(),
             "needs xdotool (scripts/setup.sh --tests installs it)");
}

void TestSingleInstanceProcess::cleanup()
{
    for (auto &process : m_processes) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    m_processes.clear();
    // A killed instance leaves its segment behind; the next start would clean it up, but the
    // cases below must start from nothing.
    // Root may remove another user's segment too.
    for (const QString &key : {SingleInstanceGuard::heldKey(m_env.instanceKey()),
                               m_env.instanceKey() + QStringLiteral("-uid%1").arg(NobodyUid)}) {
        QSharedMemory stale(key);
        if (!key.isEmpty() && stale.attach())
            stale.detach();
    }
}

void TestSingleInstanceProcess::cleanupTestCase()
{
    // An instance killed with SIGKILL leaves the guard's lock (a System V semaphore beside the
    // segment) behind, and later instances use it without owning it. This test's keys are its
    // own, so remove their locks; the file name is Qt's, next to the segment's key file.
    for (const QString &key : {SingleInstanceGuard::userKey(m_env.instanceKey()),
                               m_env.instanceKey() + QStringLiteral("-uid%1").arg(NobodyUid)}) {
        QString lockFile = QSharedMemory(key).nativeKey();
        lockFile.replace(QStringLiteral("qipc_sharedmemory_"), QStringLiteral("qipc_systemsem_"));
        const key_t id = ::ftok(QFile::encodeName(lockFile).constData(), 'Q');
        const int semaphore = id == -1 ? -1 : ::semget(id, 1, 0);
        if (semaphore != -1)
            ::semctl(semaphore, 0, IPC_RMID);
        QFile::remove(lockFile);
    }
}

void TestSingleInstanceProcess::secondStartRestoresHiddenWindow()
{
    QProcess *first = start({QStringLiteral("--minimize-to-tray")});
    waitUntilFirstInstanceReady(first);
    QVERIFY(!m_probe.windowOf(first->processId(), Title).viewable);

    QCOMPARE(runSecondStart(), SecondStartExit);
    QElapsedTimer sinceRequest; // the second start has left its request and gone
    sinceRequest.start();
    QTRY_VERIFY_WITH_TIMEOUT(m_probe.windowOf(first->processId(), Title).viewable, 5000);
    const qint64 restoredAfter = sinceRequest.elapsed();
    QVERIFY(m_probe.windowOf(first->processId(), Title).maximized);
    // At most one poll interval, plus a little for the window to map.
    QVERIFY2(restoredAfter < 1500, qPrintable(QStringLiteral("%1 ms").arg(restoredAfter)));

    // Also when the window already shows, a second start is answered and leaves it shown.
    QCOMPARE(runSecondStart(), SecondStartExit);
    QTRY_COMPARE_WITH_TIMEOUT(firstByte(), 0, 3000);
    QVERIFY(m_probe.windowOf(first->processId(), Title).viewable);
    QCOMPARE(first->state(), QProcess::Running);
}

void TestSingleInstanceProcess::secondStartsWithinOneTickRestoreOnce()
{
    QProcess *first = start({QStringLiteral("--minimize-to-tray")});
    waitUntilFirstInstanceReady(first);
    // waitUntilFirstInstanceReady ends right after a tick, so both starts fall before the next.
    QElapsedTimer sinceTick;
    sinceTick.start();
    QCOMPARE(runSecondStart(), SecondStartExit);
    QCOMPARE(runSecondStart(), SecondStartExit);
    if (sinceTick.elapsed() > 900)
        QSKIP("the two starts took longer than one poll interval on this machine");

    QTRY_VERIFY_WITH_TIMEOUT(m_probe.windowOf(first->processId(), Title).viewable, 5000);
    QCOMPARE(firstByte(), 0); // nothing left for a later tick
    const quint32 window = m_probe.windowOf(first->processId(), Title).window;
    m_probe.requestClose(window);
    QTRY_VERIFY_WITH_TIMEOUT(!m_probe.windowOf(first->processId(), Title).viewable, 5000);
    // Give the poll more than one tick: a second restore would show the window again.
    QTest::qWait(1500);
    QVERIFY(!m_probe.windowOf(first->processId(), Title).viewable);
    QCOMPARE(first->state(), QProcess::Running); // closing only hid it
}

void TestSingleInstanceProcess::otherTextIsClearedWithoutEffect_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("other word") << QByteArrayLiteral("hello");
    QTest::newRow("other case") << QByteArrayLiteral("Restore");
    QTest::newRow("longer") << QByteArrayLiteral("restored");
    QTest::newRow("prefix") << QByteArrayLiteral("restor");
}

void TestSingleInstanceProcess::otherTextIsClearedWithoutEffect()
{
    QFETCH(QByteArray, text);
    QProcess *first = start({QStringLiteral("--minimize-to-tray")});
    waitUntilFirstInstanceReady(first);

    QVERIFY(writeSegment(text));
    QTRY_COMPARE_WITH_TIMEOUT(firstByte(), 0, 3000);
    QTest::qWait(300); // a restore would map the window right after the tick
    QVERIFY(!m_probe.windowOf(first->processId(), Title).viewable);

    // Only byte 0 is cleared; the rest of the text stays as it was.
    QSharedMemory memory(SingleInstanceGuard::heldKey(m_env.instanceKey()));
    QVERIFY(memory.attach(QSharedMemory::ReadOnly));
    QCOMPARE(QByteArray(static_cast<const char *>(memory.constData()) + 1), text.mid(1));
    memory.detach();
}

void TestSingleInstanceProcess::startAfterQuitIsFirstInstance()
{
    QProcess *first = start();
    waitUntilFirstInstanceReady(first);
    QTRY_VERIFY_WITH_TIMEOUT(m_probe.windowOf(first->processId(), Title).viewable, 5000);
    const quint32 window = m_probe.windowOf(first->processId(), Title).window;

    QVERIFY(quitThroughMenu(window));
    QVERIFY(first->waitForFinished(10000));
    QCOMPARE(first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(first->exitCode(), 0);
    QVERIFY(!guardHeld()); // the guard went with the instance

    QProcess *next = start();
    waitUntilFirstInstanceReady(next);
    QTRY_VERIFY_WITH_TIMEOUT(m_probe.windowOf(next->processId(), Title).viewable, 5000);
}

void TestSingleInstanceProcess::startAfterKillIsFirstInstance()
{
    QProcess *first = start({QStringLiteral("--minimize-to-tray")});
    waitUntilFirstInstanceReady(first);
    first->kill();
    QVERIFY(first->waitForFinished(5000));
    QVERIFY(guardHeld()); // the killed instance's segment outlives it

    QProcess *next = start();
    waitUntilFirstInstanceReady(next);
    QTRY_VERIFY_WITH_TIMEOUT(m_probe.windowOf(next->processId(), Title).viewable, 5000);
    QVERIFY(m_probe.windowOf(next->processId(), Title).maximized);
}

QProcess *TestSingleInstanceProcess::startAsNobody(const QString &program, const QString &configDir)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir);
    env.insert(QStringLiteral("HOME"), configDir);
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.remove(QStringLiteral("XAUTHORITY"));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=%1").arg(NobodyUid),
                                               QStringLiteral("--regid=%1").arg(NobodyUid),
                                               QStringLiteral("--clear-groups"), program});
    process->waitForStarted();
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

void TestSingleInstanceProcess::otherUsersInstanceDoesNotStopThisUser()
{
    if (::geteuid() != 0)
        QSKIP("starting the program as another user needs root");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("setpriv is not installed");

    // The other user runs a copy it can read, with settings it can write, and the same guard
    // name as ours.
    QTemporaryDir place;
    QVERIFY(place.isValid());
    const QString program = place.filePath(QStringLiteral("keyquill"));
    const QString config = place.filePath(QStringLiteral("config"));
    QVERIFY(QFile::copy(QStringLiteral(KEYQUILL_BINARY), program));
    QVERIFY(QDir().mkpath(config));
    const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(place.path(), everyone));
    QVERIFY(QFile::setPermissions(program, everyone));
    QCOMPARE(::chown(QFile::encodeName(config).constData(), NobodyUid, NobodyUid), 0);

    QProcess *mine = start({QStringLiteral("--minimize-to-tray")});
    waitUntilFirstInstanceReady(mine);

    // Our instance does not stop theirs, and their start restores nothing of ours.
    QProcess *theirs = startAsNobody(program, config);
    QTRY_VERIFY_WITH_TIMEOUT(m_probe.windowOf(theirs->processId(), Title).viewable ||
                                 theirs->state() == QProcess::NotRunning,
                             10000);
    QCOMPARE(theirs->state(), QProcess::Running);
    QTest::qWait(1500); // more than one tick of our poll
    QVERIFY(!m_probe.windowOf(mine->processId(), Title).viewable);

    // With their instance running, our second start still reaches ours.
    QCOMPARE(runSecondStart(), SecondStartExit);
    QTRY_VERIFY_WITH_TIMEOUT(m_probe.windowOf(mine->processId(), Title).viewable, 5000);
    QCOMPARE(theirs->state(), QProcess::Running);

    // Their instance quits through its menu, so that it takes its segment and lock with it.
    if (quitThroughMenu(m_probe.windowOf(theirs->processId(), Title).window))
        theirs->waitForFinished(10000);
}

QTEST_GUILESS_MAIN(TestSingleInstanceProcess)
#include "tst_singleinstanceprocess.moc"
