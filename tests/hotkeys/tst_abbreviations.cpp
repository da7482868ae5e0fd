// Abbreviations typed into real programs on a real X server (a Qt field, xterm's bash, a GTK
// entry), as xdotool types them, 10 ms a key: replaced at a word's start only, with nothing lost
// of what follows, under de with a dead key in the second group; never in a denied program or
// while another client holds the keyboard; forgotten at a click and a change of focus.
#include "app/application.h"
#include "hotkeys/platform.h"
#include "store/preferences.h"
#include "support/testenv.h"
#include "xclient.h"

#include <QtTest>
#include <QtWidgets>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {

const QString Text = QStringLiteral("Best regards");

// The event loop runs meanwhile, as the program's would: it hears each key as it comes.
int xdotool(const QStringList &arguments)
{
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    process.start("xdotool", arguments);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

class TestAbbreviations final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    const std::unique_ptr<Platform> m_platform = Platform::create();
    XClient m_keyboard;
    QLineEdit m_field;                          // the Qt target
    QLineEdit m_other;                          // where the focus goes for a moment
    Display *m_grabber = XOpenDisplay(nullptr); // another client
    std::unique_ptr<Application> m_app;

    void focusQt(QLineEdit &field)
    {
        QCOMPARE(xdotool({"windowfocus", "--sync", QString::number(field.winId())}), 0);
        field.activateWindow();
        QTRY_VERIFY(field.hasFocus());
    }

    // Runs one step of a row: "type:<text>" at 10 ms a key, "click", "replaced" (the delivery
    // over), "away" (the focus to
    // another window and back), "grab"/"ungrab" of the keyboard by another client.
    void step(const QString &step)
    {
        const QString what = step.section(':', 0, 0);
        const QString rest = step.section(':', 1);
        if (what == "type")
            QCOMPARE(xdotool({"type", "--delay", "10", rest}), 0);
        else if (what == "click")
            QCOMPARE(xdotool({"click", "1"}), 0);
        else if (what == "group") {
            QCOMPARE(QProcess::execute("setxkbmap", {"-layout", "us," + rest}), 0);
            XkbLockGroup(m_grabber, XkbUseCoreKbd, 1);
            XSync(m_grabber, False);
        } else if (what == "us") {
            for (const QString &name : rest.split(' '))
                m_keyboard.press({}, m_keyboard.keycode(XStringToKeysym(qPrintable(name))));
        } else if (what == "replaced")
            QTRY_VERIFY(m_app->engine().isIdle());
        else if (what == "away") {
            // The watch hears of it at the next key, or from the focus leaving the window.
            QCOMPARE(xdotool({"windowfocus", "--sync", QString::number(m_other.winId())}), 0);
            QTRY_VERIFY(m_other.isActiveWindow());
            focusQt(m_field);
        } else if (what == "grab") {
            QCOMPARE(XGrabKeyboard(m_grabber, DefaultRootWindow(m_grabber), False, GrabModeAsync,
                                   GrabModeAsync, CurrentTime),
                     GrabSuccess);
            XSync(m_grabber, False);
        } else if (what == "ungrab") {
            XUngrabKeyboard(m_grabber, CurrentTime);
            XSync(m_grabber, False);
        }
    }

private Q_SLOTS:
    void cleanup() { QCOMPARE(QProcess::execute("setxkbmap", {"us"}), 0); }
    void initTestCase()
    {
        QVERIFY2(m_keyboard.isOpen(), "no X server");
        TestEnvironment::writeNote("Live", "sig", 0, Text);
        MacroStore store;
        QVERIFY(store.saveNote("Live", "sig", 0, Text, QString(":sig")));
        QVERIFY(store.saveNote("Live", "acute", 0, "accent", QString("\u00df\u00e9")));
        m_app = std::make_unique<Application>(*m_platform, nullptr, Application::Options{false});
        Preferences preferences;
        preferences.setExpandAbbreviations(true);
        preferences.setDeniedPrograms({"DeniedTerm"});
        m_app->apply(preferences);
        m_app->live().choose("Live");
        QVERIFY(m_app->abbreviations().isWatching());
        m_field.setWindowTitle("keyquill-qt-field");
        m_field.show();
        m_other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_field) && QTest::qWaitForWindowExposed(&m_other));
    }

    void replaces_data()
    {
        QTest::addColumn<QString>("target"); // qt, xterm, a denied xterm, gtk
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");
        // Typed fast: what follows the abbreviation arrives while it is being replaced.
        for (const char *target : {"qt", "xterm"})
            QTest::newRow(target) << target << QStringList{"type:hello :sig and more"}
                                  << "hello Best regards and more";
        // A GTK entry takes a paste in later than keys that follow it: typed after it is in.
        QTest::newRow("gtk") << "gtk"
                             << QStringList{"type:hello :sig", "replaced", "type: and more"}
                             << "hello Best regards and more";
        QTest::newRow("inside a word")
            << "qt" << QStringList{"type:a:sig and b:sig"} << "a:sig and b:sig";
        QTest::newRow("denied program")
            << "denied" << QStringList{"type:hello :sig x"} << "hello :sig x";
        // de in the second group: the key of the us minus is ß there, of the us equal sign a
        // dead acute, of the us y a z.
        QTest::newRow("de, second group, dead key")
            << "xterm" << QStringList{"group:de", "us:x space minus equal e space y"}
            << "x accent z";
        QTest::newRow("another client's grab")
            << "qt" << QStringList{"type:a ", "grab", "type::sig", "ungrab", "type: b"} << "a  b";
        QTest::newRow("a focus change forgets")
            << "qt" << QStringList{"type:x :s", "away", "type:ig"} << "x :sig";
        QTest::newRow("a click forgets")
            << "qt" << QStringList{"type:x :s", "click", "type:ig"} << "x :sig";
    }
    void replaces()
    {
        QFETCH(QString, target);
        QFETCH(QStringList, steps);
        QProcess program;
        const QString line = m_env.configDir() + "/line";
        const QString ready = m_env.configDir() + "/ready";
        QFile::remove(line);
        QFile::remove(ready);
        if (target == "qt") {
            m_field.clear();
            focusQt(m_field);
        } else {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("LC_ALL", "C.UTF-8");
            program.setProcessEnvironment(env);
            if (target == "gtk") {
                if (QStandardPaths::findExecutable("zenity").isEmpty())
                    QSKIP("zenity (a GTK entry) is not installed: scripts/setup.sh --tests");
                program.start("zenity", {"--entry", "--title", "keyquill-target"});
            } else {
                program.start("xterm",
                              {"-T", "keyquill-target", "-class",
                               target == "denied" ? "DeniedTerm" : "XTerm", "-e", "bash", "--norc",
                               "-c",
                               QString("touch %1; read -e -r line; printf %s \"$line\" > %2")
                                   .arg(ready, line)});
                QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ready), 20000);
            }
            QProcess search;
            search.start("xdotool",
                         {"search", "--sync", "--onlyvisible", "--name", "keyquill-target"});
            QVERIFY(search.waitForFinished(20000));
            const QString window =
                QString::fromLatin1(search.readAllStandardOutput()).section('\n', 0, 0);
            QCOMPARE(xdotool({"windowfocus", "--sync", window}), 0);
        }
        QSignalSpy requested(&m_app->abbreviations(), &AbbreviationWatch::requested);
        for (const QString &each : std::as_const(steps))
            step(each);
        QFETCH(QString, expected);
        const int fires = expected.contains(Text) || expected.contains("accent") ? 1 : 0;
        if (target == "qt") {
            QTRY_COMPARE(m_field.text(), expected);
            QTest::qWait(0);
        } else {
            // The delivery is over before Return, which would otherwise come between.
            QTRY_COMPARE_WITH_TIMEOUT(requested.size(), fires, 3000);
            QTest::qWait(300);
            QCOMPARE(xdotool({"key", "Return"}), 0);
            if (target == "gtk") {
                QVERIFY(program.waitForFinished(10000));
                QCOMPARE(QString::fromUtf8(program.readAllStandardOutput()).chopped(1), expected);
            } else {
                QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(TestEnvironment::fileBytes(line)),
                                          expected, 10000);
            }
        }
        QCOMPARE(requested.size(), fires);
        program.kill();
        program.waitForFinished();
    }
};

QTEST_MAIN(TestAbbreviations)
#include "tst_abbreviations.moc"
