// "Pick a note" over a real terminal: hot key and typing from a second X client, Enter sends the
// exact text into the terminal, which has the keyboard again; Esc sends nothing.
#include "app/application.h"
#include "hotkeys/platform.h"
#include "mainwindow/mainwindow.h"
#include "store/preferences.h"
#include "store/recentnotes.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"
#include "xclient.h"

#include <QtTest>
#include <QtWidgets>

#include <X11/keysym.h>

namespace {

const QString Text = QStringLiteral("Jane Doe\n\tBrook Lane 7");

QString focusedWindow()
{
    QProcess xdotool;
    xdotool.start("xdotool", {"getwindowfocus"});
    xdotool.waitForFinished(10000);
    return QString::fromLatin1(xdotool.readAllStandardOutput()).trimmed();
}

} // namespace

class TestQuickPickX11 final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    const std::unique_ptr<Platform> m_platform = Platform::create();
    XClient m_keyboard;
    ScriptedDialogs m_dialogs;

private Q_SLOTS:
    void pickedNoteArrivesInTerminal()
    {
        QVERIFY2(m_keyboard.isOpen(), "no X server");
        TestEnvironment::writeNote("Letters", "Greeting", 0, "Dear reader");
        TestEnvironment::writeNote("Misc", "aaa", 0, "a");
        TestEnvironment::writeNote("Work", "signature",
                                   (Qt::CTRL | Qt::ALT | Qt::Key_1).toCombined(), Text);
        Preferences preferences;
        preferences.setQuickPickShortcut((Qt::CTRL | Qt::ALT | Qt::Key_Q).toCombined());
        QVERIFY(preferences.save());
        Application program(*m_platform, &m_dialogs, Application::Options{false});
        // No master macro live.

        QProcess terminal;
        const QString typed = m_env.configDir() + "/typed";
        terminal.startCommand(
            QString("xterm -T keyquill-target -e sh -c \"stty -icanon -echo; cat > %1\"")
                .arg(typed));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(typed), 20000);
        QCOMPARE(QProcess::execute("xdotool", {"search", "--sync", "--name", "keyquill-target",
                                               "windowfocus", "--sync"}),
                 0);
        const QString before = focusedWindow();

        m_keyboard.press({XK_Control_L, XK_Alt_L}, m_keyboard.keycode(XK_q));
        QTRY_VERIFY(QApplication::activePopupWidget());
        auto *search = QApplication::activePopupWidget()->findChild<QLineEdit *>("search");
        for (unsigned long key : {XK_w, XK_o, XK_r, XK_k, XK_space, XK_s, XK_i})
            m_keyboard.press({}, m_keyboard.keycode(key));
        QTRY_COMPARE(search->text(), QString("work si"));
        m_keyboard.press({}, m_keyboard.keycode(XK_Return));
        QTRY_VERIFY(!QApplication::activePopupWidget());

        QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::fileBytes(typed), Text.toUtf8(), 5000);
        QCOMPARE(focusedWindow(), before);
        QCOMPARE(RecentNotes::read(), QStringList{"Work/signature"});
        // Esc closes without sending anything. With nothing typed: the recent pick, then the
        // live master macro's notes, then the rest.
        program.live().choose("Misc");
        m_keyboard.press({XK_Control_L, XK_Alt_L}, m_keyboard.keycode(XK_q));
        QTRY_VERIFY(QApplication::activePopupWidget());
        QWidget *popup = QApplication::activePopupWidget();
        QCOMPARE(popup->findChild<QLabel *>("hint")->text(), "Enter pastes · Esc closes");
        const QAbstractItemModel *rows = popup->findChild<QTableView *>("notes")->model();
        QStringList order;
        for (int row = 0; row < rows->rowCount(); ++row)
            order << rows->index(row, 0).data().toString();
        QCOMPARE(order, QStringList({"signature", "aaa", "Greeting"}));
        m_keyboard.press({}, m_keyboard.keycode(XK_Escape));
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QTest::qWait(1500);
        QCOMPARE(TestEnvironment::fileBytes(typed), Text.toUtf8());
        terminal.kill();
        terminal.waitForFinished();
    }
};

QTEST_MAIN(TestQuickPickX11)
#include "tst_quickpick_x11.moc"
