// The command line and the session bus against the real program under Xvfb, on a bus of the
// test's own: exit codes and what is printed, with no instance and with one; the note delivered
// and picked into a Qt field that has the focus, as a desktop's key binding would run it.
#include "support/testenv.h"

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>

namespace {

const int CtrlAltA = (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined();

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &arguments,
        const QString &bus = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"))
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForFinished(20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

int xdotool(const QStringList &arguments)
{
    return run("xdotool", arguments).code;
}

Run keyquill(const QStringList &arguments)
{
    return run(KEYQUILL_BINARY, arguments);
}

} // namespace

class TestCommandLine final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    QPlainTextEdit m_field; // where the notes go
    QProcess m_program;

    void focusField()
    {
        m_field.clear();
        QCOMPARE(xdotool({"windowfocus", "--sync", QString::number(m_field.winId())}), 0);
        m_field.activateWindow();
        QTRY_VERIFY(m_field.hasFocus());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus");
        TestEnvironment::clearStore();
        TestEnvironment::writeNote("Work", "hello", CtrlAltA, "Hello there");
        TestEnvironment::writeNote("Work", "bye", 0, "Bye");
        TestEnvironment::writeMasterMacro("Empty");
        QSettings().sync();
        m_field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_field));
    }
    void cleanupTestCase()
    {
        m_program.terminate();
        m_program.waitForFinished(10000);
    }

    // Nothing to call: one line on stderr, exit code 2.
    void noInstance_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("bus");
        QTest::addColumn<QString>("err");
        QTest::newRow("not running")
            << QStringList{"--list"} << qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS")
            << "keyquill: Keyquill is not running.\n";
        QTest::newRow("no session bus")
            << QStringList{"--deliver", "Work/bye"} << "unix:path=/nonexistent/bus"
            << "keyquill: no session bus to reach Keyquill through";
    }
    void noInstance()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, bus);
        QFETCH(QString, err);
        const Run result = run(KEYQUILL_BINARY, arguments, bus);
        QCOMPARE(result.code, 2);
        QCOMPARE(result.out, QString());
        QVERIFY2(result.err.startsWith(err) && result.err.count('\n') == 1, qPrintable(result.err));
    }

    // With none running, --pick starts the instance in the tray with the popup open; Esc closes
    // it, and the instance stays to be called.
    void pickStartsTheInstance()
    {
        focusField();
        m_program.setProcessChannelMode(QProcess::ForwardedChannels);
        m_program.start(KEYQUILL_BINARY, {"--pick"});
        QVERIFY(m_program.waitForStarted());
        QCOMPARE(xdotool({"search", "--sync", "--name", "^Pick a note$"}), 0);
        QCOMPARE(xdotool({"key", "Escape"}), 0);
        QTRY_COMPARE(xdotool({"search", "--onlyvisible", "--name", "^Pick a note$"}), 1);
        QCOMPARE(m_program.state(), QProcess::Running);
    }

    void calls_data()
    {
        QTest::addColumn<QStringList>("arguments"); // a first "gdbus" calls through it
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString noNote =
            "keyquill: Keyquill has no note \"nope\" in the master macro \"Work\".\n";
        QTest::newRow("list") << QStringList{"--list"} << 0
                              << "Empty\nWork\nWork/bye\nWork/hello\tCtrl+Alt+A\n"
                              << "";
        QTest::newRow("no such note") << QStringList{"--deliver", "Work/nope"} << 1 << "" << noNote;
        QTest::newRow("no such master")
            << QStringList{"--deliver", "Nope/hello"} << 1 << ""
            << "keyquill: Keyquill has no note \"hello\" in the master macro \"Nope\".\n";
        QTest::newRow("no master named")
            << QStringList{"--deliver", "/hello"} << 1 << ""
            << "keyquill: --deliver needs the note as \"Master Macro/Note\", such as "
               "\"Work/Signature\".\n";
        QTest::newRow("two calls at once")
            << QStringList{"--list", "--pick"} << 1 << ""
            << "keyquill: Give one of --pick, --deliver and --list at a time.\n";
        QTest::newRow("gdbus: List, never a text")
            << QStringList{"gdbus", "List"} << 0
            << "([('Empty', '', ''), ('Work', 'bye', ''), ('Work', 'hello', 'Ctrl+Alt+A')],)\n"
            << "";
        QTest::newRow("gdbus: Deliver, no such note")
            << QStringList{"gdbus", "Deliver", "Work", "nope"} << 1 << ""
            << "Error: GDBus.Error:org.corvane.Keyquill.Error.NoSuchNote: " + noNote.mid(10);
    }
    void calls()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QCOMPARE(m_program.state(), QProcess::Running);
        const bool gdbus = arguments.first() == "gdbus";
        const Run result =
            gdbus ? run("gdbus", QStringList{"call", "--session", "--dest", "org.corvane.Keyquill",
                                             "--object-path", "/Keyquill", "--method",
                                             "org.corvane.Keyquill." + arguments.at(1)} +
                                     arguments.mid(2))
                  : keyquill(arguments);
        QCOMPARE(result.code, code);
        QCOMPARE(result.out, out);
        QCOMPARE(result.err.trimmed(), err.trimmed());
    }

    // As from a desktop's key binding: the text goes into the window that has the focus.
    void deliverAndPick_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("typed"); // into the popup
        QTest::addColumn<QString>("text");
        QTest::newRow("--deliver") << QStringList{"--deliver", "Work/bye"} << ""
                                   << "Bye";
        QTest::newRow("gdbus: Deliver") << QStringList{"gdbus", "Deliver", "Work", "hello"} << ""
                                        << "Hello there";
        QTest::newRow("--pick") << QStringList{"--pick"} << "hello"
                                << "Hello there";
        QTest::newRow("gdbus: Pick") << QStringList{"gdbus", "Pick"} << "bye"
                                     << "Bye";
    }
    void deliverAndPick()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        focusField();
        const Run result =
            arguments.first() != "gdbus"
                ? keyquill(arguments)
                : run("gdbus", QStringList{"call", "--session", "--dest", "org.corvane.Keyquill",
                                           "--object-path", "/Keyquill", "--method",
                                           "org.corvane.Keyquill." + arguments.at(1)} +
                                   arguments.mid(2));
        QCOMPARE(result.code, 0);
        if (!typed.isEmpty()) {
            QCOMPARE(xdotool({"search", "--sync", "--onlyvisible", "--name", "^Pick a note$"}), 0);
            QCOMPARE(xdotool({"type", "--delay", "20", typed}), 0);
            QCOMPARE(xdotool({"key", "Return"}), 0);
        }
        QTRY_COMPARE(m_field.toPlainText(), text);
    }

    // A script calling in a loop: once ten deliveries wait (each goes out a second or so after
    // the one before), the next call is told to try later. Last: the program ends with them.
    void busyWhenManyWait()
    {
        focusField();
        QDBusInterface keyquill("org.corvane.Keyquill", "/Keyquill", "org.corvane.Keyquill");
        QStringList replies;
        for (int i = 0; i < 12; ++i)
            replies << keyquill.call("Deliver", "Work", "bye").errorName();
        // Ten taken, or nine where the last test's delivery is still putting the clipboard back.
        const qsizetype taken = replies.lastIndexOf(QString()) + 1;
        QVERIFY2(taken == 9 || taken == 10, qPrintable(replies.join(',')));
        QCOMPARE(replies.mid(taken), QStringList(12 - taken, "org.corvane.Keyquill.Error.Busy"));
        const Run busy = ::keyquill({"--deliver", "Work/bye"});
        QCOMPARE(busy.code, 3);
        QCOMPARE(busy.err.trimmed(), "keyquill: Keyquill has too many deliveries waiting already; "
                                     "try again once they have gone out.");
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
