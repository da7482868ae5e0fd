// Two machines' Keyquill kept in step by a real sync engine: two Syncthing instances on
// loopback (fixed ports, keys made here, discovery, relays and NAT off), one shared folder each,
// and a Keyquill on each (its own settings folder and instance key) over that folder.
#include <QtTest>

namespace {

constexpr int FirstPort = 22617; // the listening ports: FirstPort and FirstPort + 1
constexpr int SyncWaitMs = 60000;

struct Machine
{
    QString home;
    QString folder;
    QString id;
    int port = 0;
    QProcess engine;
    QProcess keyquill;
};

} // namespace

class TestTwoSyncthings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Machine m_a;
    Machine m_b;
    QString m_syncthing;

    bool generate(Machine &machine, const QString &name, int port)
    {
        machine.home = m_dir.filePath(name + QStringLiteral("/home"));
        machine.folder = m_dir.filePath(name + QStringLiteral("/Sync"));
        machine.port = port;
        QDir().mkpath(machine.folder + QStringLiteral("/.stfolder"));
        // Keyquill's own lock and second names are of this machine alone.
        QFile ignore(machine.folder + QStringLiteral("/.stignore"));
        if (!ignore.open(QIODevice::WriteOnly) || ignore.write("*.lock\n*.keep-*\n") <= 0)
            return false;
        QProcess generate;
        generate.setProcessChannelMode(QProcess::MergedChannels);
        generate.start(m_syncthing, {"generate", "--home=" + machine.home, "--no-default-folder",
                                     "--skip-port-probing"});
        if (!generate.waitForFinished(60000) || generate.exitCode() != 0)
            return false;
        const QRegularExpressionMatch id =
            QRegularExpression("Device ID: ([A-Z0-9-]+)").match(generate.readAll());
        machine.id = id.captured(1);
        return id.hasMatch();
    }

    bool configure(Machine &machine, const Machine &other)
    {
        QFile file(machine.home + QStringLiteral("/config.xml"));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        QString config = QString::fromUtf8(file.readAll());
        file.close();
        const QList<QPair<QString, QString>> changes{
            {"<listenAddress>default<",
             QStringLiteral("<listenAddress>tcp://127.0.0.1:%1<").arg(machine.port)},
            {"<globalAnnounceEnabled>true<", "<globalAnnounceEnabled>false<"},
            {"<localAnnounceEnabled>true<", "<localAnnounceEnabled>false<"},
            {"<relaysEnabled>true<", "<relaysEnabled>false<"},
            {"<natEnabled>true<", "<natEnabled>false<"},
            {"<startBrowser>true<", "<startBrowser>false<"},
            {"<crashReportingEnabled>true<", "<crashReportingEnabled>false<"},
            {"<urAccepted>0<", "<urAccepted>-1<"},
            {"<autoUpgradeIntervalH>12<", "<autoUpgradeIntervalH>0<"},
            {"<gui enabled=\"true\"", "<gui enabled=\"false\""},
            {"    <gui ",
             QStringLiteral(
                 "    <folder id=\"keyquill\" label=\"keyquill\" path=\"%1\" type=\"sendreceive\" "
                 "rescanIntervalS=\"5\" fsWatcherEnabled=\"true\" fsWatcherDelayS=\"1\">\n"
                 "        <device id=\"%2\"></device>\n        <device id=\"%3\"></device>\n"
                 "        <maxConflicts>10</maxConflicts>\n    </folder>\n"
                 "    <device id=\"%3\" name=\"other\" compression=\"metadata\">\n"
                 "        <address>tcp://127.0.0.1:%4</address>\n    </device>\n    <gui ")
                 .arg(machine.folder, machine.id, other.id)
                 .arg(other.port)},
        };
        for (const auto &[from, to] : changes) {
            if (!config.contains(from))
                return false;
            config.replace(from, to);
        }
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(config.toUtf8()) > 0;
    }

    void start(Machine &machine)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", machine.home);
        environment.insert("STNOUPGRADE", "1");
        machine.engine.setProcessEnvironment(environment);
        machine.engine.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        machine.engine.setStandardOutputFile(machine.home + QStringLiteral("/log.txt"));
        machine.engine.start(m_syncthing,
                             {"serve", "--home=" + machine.home, "--no-browser", "--no-restart"});
        QVERIFY(machine.engine.waitForStarted());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        machine.keyquill.setProcessEnvironment(environment);
        machine.keyquill.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        machine.keyquill.start(QStringLiteral(KEYQUILL_SYNCPEER), {machine.folder});
        QVERIFY(machine.keyquill.waitForStarted());
    }

    static QString ask(Machine &machine, const QString &line)
    {
        machine.keyquill.write(line.toUtf8() + '\n');
        while (!machine.keyquill.canReadLine()) {
            if (!machine.keyquill.waitForReadyRead(10000))
                return QStringLiteral("(no answer)");
        }
        return QString::fromUtf8(machine.keyquill.readLine()).trimmed();
    }
    static QString save(Machine &machine, const QString &master, const QString &note)
    {
        return ask(machine, QStringList{"save", master, note, "from " + note}.join('\t'));
    }
    // Every note as "master/note|text", sorted, as the machine's tree shows them.
    static QStringList shown(Machine &machine)
    {
        QStringList rows = ask(machine, "dump").split(';', Qt::SkipEmptyParts);
        rows.sort();
        return rows;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_syncthing = QStandardPaths::findExecutable("syncthing");
        if (m_syncthing.isEmpty())
            QSKIP(
                "syncthing is not installed (Debian package syncthing, scripts/setup.sh --tests)");
        QVERIFY(generate(m_a, "a", FirstPort));
        QVERIFY(generate(m_b, "b", FirstPort + 1));
        QVERIFY(configure(m_a, m_b));
        QVERIFY(configure(m_b, m_a));
        start(m_a);
        start(m_b);
    }

    void cleanupTestCase()
    {
        for (Machine *machine : {&m_a, &m_b}) {
            machine->keyquill.closeWriteChannel();
            for (QProcess *process : {&machine->keyquill, &machine->engine}) {
                process->terminate();
                if (!process->waitForFinished(10000))
                    process->kill();
                process->waitForFinished();
            }
        }
    }

    void eachSeesTheOther()
    {
        QCOMPARE(save(m_a, "Work", "a"), QString("saved"));
        QTRY_COMPARE_WITH_TIMEOUT(shown(m_b), QStringList{"Work/a|from a"}, SyncWaitMs);
        QCOMPARE(save(m_b, "Work", "b"), QString("saved"));
        QTRY_COMPARE_WITH_TIMEOUT(shown(m_a), (QStringList{"Work/a|from a", "Work/b|from b"}),
                                  SyncWaitMs);
    }

    void editsAtOnceAllKept()
    {
        // Both before either engine can have passed the other's on.
        QCOMPARE(save(m_a, "Work", "c"), QString("saved"));
        QCOMPARE(save(m_b, "Home", "d"), QString("saved"));
        const QStringList all{"Home/d|from d", "Work/a|from a", "Work/b|from b", "Work/c|from c"};
        QTRY_COMPARE_WITH_TIMEOUT(shown(m_a), all, SyncWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(shown(m_b), all, SyncWaitMs);
    }
};

QTEST_GUILESS_MAIN(TestTwoSyncthings)
#include "tst_twosyncthings.moc"
