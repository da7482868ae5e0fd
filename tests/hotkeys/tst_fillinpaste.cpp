// Placeholders end to end into bash's line editor in xterm, on a real X server: filled in, the
// caret at {{cursor}} for the next key typed, the question for an input has the keyboard, and
// the program gets it back after an answer or Esc.
#include "app/application.h"
#include "hotkeys/platform.h"
#include "mainwindow/mainwindow.h"
#include "store/preferences.h"
#include "support/modalanswerer.h"
#include "support/testenv.h"
#include "xclient.h"

#include <QtTest>
#include <QtWidgets>

#include <X11/keysym.h>

using Keys = QList<unsigned long>;

class TestFillInPaste final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    const std::unique_ptr<Platform> m_platform = Platform::create();
    XClient m_keyboard;
    Application m_program{*m_platform, nullptr, Application::Options{false}};
    MainWindow &m_window = m_program.window();

    void type(const Keys &keysyms)
    {
        for (unsigned long keysym : keysyms)
            m_keyboard.press({}, m_keyboard.keycode(keysym));
    }

private Q_SLOTS:
    void delivers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Keys>("answer");      // typed into the question, if one comes
        QTest::addColumn<QString>("expected"); // with an "x" typed after the delivery
        const QString year = QString::number(QDate::currentDate().year());
        QTest::newRow("date, clipboard, cursor")
            << "{{date:yyyy}}, {{clipboard}}: {{cursor}}end." << Keys() << year + ", copied: xend.";
        QTest::newRow("input answered")
            << "Hi {{input:Name}}{{cursor}}!" << Keys{XK_a, XK_n, XK_n, XK_Return} << "Hi annx!";
        QTest::newRow("input cancelled") << "Hi {{input:Name}}" << Keys{XK_Escape} << "x";
    }

    void delivers()
    {
        QFETCH(QString, text);
        QFETCH(Keys, answer);
        QFETCH(QString, expected);
        QVERIFY2(m_keyboard.isOpen(), "no X server");
        TestEnvironment::writeNote("Live", "note", (Qt::CTRL | Qt::ALT | Qt::Key_1).toCombined(),
                                   text);
        Preferences preferences;
        preferences.setExpandPlaceholders(true);
        preferences.setRestoreClipboard(true); // put back once the caret is in place
        m_program.apply(preferences);
        QGuiApplication::clipboard()->setText("copied");

        QProcess terminal;
        const QString ready = m_env.configDir() + "/ready";
        const QString line = m_env.configDir() + "/line";
        QFile::remove(ready);
        QFile::remove(line);
        terminal.start(
            "xterm",
            {"-T", "keyquill-target", "-e", "bash", "--norc", "-c",
             QString("touch %1; read -e -r line; printf %s \"$line\" > %2").arg(ready, line)});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ready), 20000);
        QCOMPARE(QProcess::execute("xdotool", {"search", "--sync", "--name", "keyquill-target",
                                               "windowfocus", "--sync"}),
                 0);
        m_window.live().choose("Live");
        ModalAnswerer answerer;
        bool asked = false;
        QString title;
        answerer.expect([&](QWidget *question) {
            asked = true;
            title = question->windowTitle();
            // Typed on the keyboard, not into the widget: the question must have it.
            QVERIFY(QTest::qWaitFor([question] { return question->isActiveWindow(); }));
            type(answer);
        });
        QSignalSpy pasted(&m_program.engine(), &DeliveryEngine::pasteFinished);
        m_keyboard.press({XK_Control_L, XK_Alt_L}, m_keyboard.keycode(XK_1));
        // Once the clipboard is back, the delivery is over, caret moves and all.
        if (expected != "x")
            QVERIFY(pasted.wait(8000));
        QTRY_VERIFY_WITH_TIMEOUT(asked == !answer.isEmpty() && !QApplication::activeModalWidget() &&
                                     QGuiApplication::clipboard()->text() == "copied",
                                 8000);
        QCOMPARE(title, asked ? "Keyquill — note" : "");
        type({XK_x, XK_Return});
        QTRY_COMPARE(QString::fromUtf8(TestEnvironment::fileBytes(line)), expected);
        m_window.live().choose(QString());
    }
};

QTEST_MAIN(TestFillInPaste)
#include "tst_fillinpaste.moc"
