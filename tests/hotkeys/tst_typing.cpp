// Typing on a real X server: a hot key pressed from a second X client types a note of several
// alphabets, line breaks and a tab into xterm, a VTE terminal and a Qt field, under layouts that
// lack most of its characters and in a second group, each character once, and leaves the
// clipboard as it was.
#include "hotkeys/hotkeycontroller.h"
#include "hotkeys/hotkeyplatform.h"
#include "store/preferences.h"
#include "support/testenv.h"
#include "xclient.h"

#include <QtTest>
#include <QtWidgets>

#include <X11/keysym.h>
#include <X11/XKBlib.h>

namespace {

const QString Text = QStringLiteral("Привет, Ёлка! Жюри «Щ»\n\tCafé naïve — Ωμέγα, 中文 😀 ß\nend");
const int NoteCode = (Qt::CTRL | Qt::ALT | Qt::Key_1).toCombined();

} // namespace

class TestTyping final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    const std::unique_ptr<HotKeyPlatform> m_platform = HotKeyPlatform::create();
    XClient m_keyboard;
    QPlainTextEdit m_field; // the Qt target
    std::unique_ptr<HotKeyController> m_keys;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_keyboard.isOpen(), "no X server");
        m_field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_field));
        m_keys = std::make_unique<HotKeyController>(*m_platform);
        // The terminals by name, everything else (the Qt field) by the row for other programs.
        Preferences preferences;
        preferences.setPasteKeys(
            {{"xterm", PasteStroke::Type}, {"xfce4-terminal", PasteStroke::Type}});
        preferences.setDefaultPasteKey(PasteStroke::Type);
        m_keys->setPreferences(preferences);
        m_keys->activate("Live", {NoteCode}, [](int, QString *text) {
            *text = Text;
            return true;
        });
        QVERIFY(m_keys->hasLiveKeys());
    }
    void cleanup() { QCOMPARE(QProcess::execute("setxkbmap", {"us"}), 0); }

    void types_data()
    {
        QTest::addColumn<QString>("target"); // "qt", or a terminal program
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("group");
        QTest::newRow("xterm, Russian layout") << "xterm"
                                               << "ru" << 0;
        QTest::newRow("VTE terminal, US layout") << "xfce4-terminal"
                                                 << "us" << 0;
        QTest::newRow("Qt field, Russian layout") << "qt"
                                                  << "ru" << 0;
        QTest::newRow("Qt field, German in the second group") << "qt"
                                                              << "us,de" << 1;
    }
    void types()
    {
        QFETCH(QString, target);
        QFETCH(QString, layout);
        QFETCH(int, group);
        QCOMPARE(QProcess::execute("setxkbmap", {"-layout", layout}), 0);
        Display *display = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
        XkbLockGroup(display, XkbUseCoreKbd, unsigned(group));
        XSync(display, False);
        QGuiApplication::clipboard()->setText("before");

        QProcess terminal;
        const QString typed = m_env.configDir() + "/typed-" + target;
        QFile::remove(typed);
        if (target == "qt") {
            // No window manager here: the focus left with the last terminal goes back by hand.
            m_field.clear();
            QCOMPARE(QProcess::execute("xdotool",
                                       {"windowfocus", "--sync", QString::number(m_field.winId())}),
                     0);
            m_field.activateWindow();
            QTRY_VERIFY(m_field.hasFocus());
        } else {
            // A shell that writes what the terminal gives it to a file made once it is set up.
            const QString options = target == "xterm" ? "-u8 -e" : "--disable-server -x";
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("LC_ALL", "C.UTF-8");
            terminal.setProcessEnvironment(env);
            terminal.startCommand(
                QString("%1 -T keyquill-target %2 sh -c \"stty -icanon -echo; cat > %3\"")
                    .arg(target, options, typed));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(typed), 20000);
            QCOMPARE(QProcess::execute("xdotool", {"search", "--sync", "--name", "keyquill-target",
                                                   "windowfocus", "--sync"}),
                     0);
        }
        QTest::qWait(200); // the layout change reaches every program through its event loop
        QSignalSpy finished(m_keys.get(), &HotKeyController::pasteFinished);
        m_keyboard.press({XK_Control_L, XK_Alt_L}, m_keyboard.keycode(XK_1));
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().first().toString(), QString());
        const auto arrived = [&] {
            return target == "qt" ? m_field.toPlainText().toUtf8()
                                  : TestEnvironment::fileBytes(typed);
        };
        QTRY_COMPARE_WITH_TIMEOUT(arrived(), Text.toUtf8(), 5000);
        QTest::qWait(500); // nothing doubled comes late
        QCOMPARE(arrived(), Text.toUtf8());
        QCOMPARE(QGuiApplication::clipboard()->text(), "before");
        terminal.kill();
        terminal.waitForFinished();
    }
};

QTEST_MAIN(TestTyping)
#include "tst_typing.moc"
