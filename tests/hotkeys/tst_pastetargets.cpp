// Delivery where people type, on a real X server: a Qt field while the user still holds the
// modifiers, real terminals, another keyboard layout, the clipboard put back or not, and the
// hot keys that cannot work marked before anyone is surprised.
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"
#include "widgets/checktreewidget.h"
#include "xclient.h"

#include <memory>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>

#include <X11/keysym.h>
#include <X11/X.h>

namespace {

const QString Master = QStringLiteral("Live");
const QString Text = QStringLiteral("Dear reader,\n\tthis arrives whole.");
const QString Earlier = QStringLiteral("what was there before");
const int NoteCode = (Qt::CTRL | Qt::ALT | Qt::Key_1).toCombined();

} // namespace

class TestPasteTargets final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    XClient m_keyboard;
    ScriptedDialogs m_dialogs;
    QPlainTextEdit m_field; // the Qt target
    std::unique_ptr<MainWindow> m_window;
    CheckTreeWidget *m_tree = nullptr;

    QTreeWidgetItem *master() const { return m_tree->topLevelItem(0); }
    // "note: tool tip" for each note whose row carries the warning icon.
    QStringList marked() const
    {
        QStringList notes;
        for (int i = 0; i < master()->childCount(); ++i) {
            const QTreeWidgetItem *note = master()->child(i);
            if (!note->icon(1).isNull())
                notes << note->text(0) + QStringLiteral(": ") + note->toolTip(1);
        }
        return notes;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_keyboard.isOpen(), "no X server");
        TestEnvironment::writeNote(Master, QStringLiteral("note"), NoteCode, Text);
        TestEnvironment::writeNote(Master, QStringLiteral("taken"),
                                   (Qt::CTRL | Qt::ALT | Qt::Key_T).toCombined(),
                                   QStringLiteral("t"));
        TestEnvironment::writeNote(Master, QStringLiteral("console"),
                                   (Qt::CTRL | Qt::ALT | Qt::Key_F5).toCombined(),
                                   QStringLiteral("c"));
        // A user would confirm xfce4-terminal's question before it pastes several lines.
        QVERIFY(QDir(m_env.configDir()).mkpath("xfce4/terminal"));
        QFile rc(m_env.configDir() + "/xfce4/terminal/terminalrc");
        QVERIFY(rc.open(QIODevice::WriteOnly) &&
                rc.write("[Configuration]\nMiscShowUnsafePasteDialog=FALSE\n") > 0);
        m_window = std::make_unique<MainWindow>(&m_dialogs);
        m_field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_field));
        m_tree = m_window->findChild<CheckTreeWidget *>(QStringLiteral("treeMacros"));
        QVERIFY(m_tree);
    }

    void cleanup()
    {
        master()->setCheckState(0, Qt::Unchecked);
        QCOMPARE(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")}), 0);
    }

    void pastes_data()
    {
        QTest::addColumn<QString>("target"); // "qt", or a terminal program
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("holdMs"); // Ctrl+Alt kept down this long after the press
        QTest::addColumn<bool>("restore");
        const QString qt = "qt", us = "us";
        QTest::newRow("Qt, Ctrl+Alt held, clipboard put back") << qt << us << 1600 << true;
        QTest::newRow("xterm") << "xterm" << us << 0 << false;
        QTest::newRow("VTE terminal") << "xfce4-terminal" << us << 0 << false;
        QTest::newRow("Russian layout") << qt << "ru" << 0 << false;
        QTest::newRow("US layout again, clipboard kept") << qt << us << 0 << false;
    }

    void pastes()
    {
        QFETCH(QString, target);
        QFETCH(QString, layout);
        QFETCH(int, holdMs);
        QFETCH(bool, restore);
        Preferences preferences;
        preferences.setRestoreClipboard(restore);
        QVERIFY(preferences.save());
        QCOMPARE(QProcess::execute(QStringLiteral("setxkbmap"), {layout}), 0);
        QGuiApplication::clipboard()->setText(Earlier);

        QProcess terminal;
        const QString typed = m_env.configDir() + QStringLiteral("/typed-") + target;
        if (target == QLatin1String("qt")) {
            // No window manager here: the field takes the X input focus itself.
            m_field.clear();
            m_field.activateWindow();
            QTRY_VERIFY(m_field.hasFocus());
        } else {
            // A shell that writes what the terminal gives it, byte for byte, to a file that it
            // makes once the terminal is set up. The terminal gets the focus as a user would give
            // it.
            const QString options = target == "xterm" ? "-e" : "--disable-server -x";
            terminal.startCommand(
                QStringLiteral("%1 -T keyquill-target %2 sh -c \"stty -icanon -echo; "
                               "head -c %3 > %4\"")
                    .arg(target, options)
                    .arg(Text.toUtf8().size())
                    .arg(typed));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(typed), 20000);
            QCOMPARE(QProcess::execute("xdotool", {"search", "--sync", "--name", "keyquill-target",
                                                   "windowfocus", "--sync"}),
                     0);
        }
        master()->setCheckState(0, Qt::Checked);
        const QList<unsigned long> ctrlAlt{XK_Control_L, XK_Alt_L};
        m_keyboard.keys(ctrlAlt, true);
        m_keyboard.press({}, m_keyboard.keycode(XK_1));
        QTest::qWait(holdMs); // the user's own hold, not a wait for the program
        m_keyboard.keys(ctrlAlt, false);

        if (target != QLatin1String("qt")) {
            QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::fileBytes(typed), Text.toUtf8(), 5000);
            terminal.kill();
            terminal.waitForFinished();
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_field.toPlainText(), Text, 5000);
        QTest::qWait(1000); // longer than the program takes to put the clipboard back
        QCOMPARE(QGuiApplication::clipboard()->text(), restore ? Earlier : Text);
    }

    void unavailableKeysAreMarked()
    {
        XClient other;
        const unsigned t = m_keyboard.keycode(XK_t);
        const unsigned ctrlAlt = ControlMask | Mod1Mask; // Alt is Mod1 on the test server
        QVERIFY(other.grab(t, ctrlAlt));
        master()->setCheckState(0, Qt::Checked);
        const QStringList warned = marked();
        QCOMPARE(warned.size(), 2);
        QVERIFY2(warned.at(0).startsWith("console: ") && warned.at(0).contains("console switch"),
                 qPrintable(warned.at(0)));
        QVERIFY2(warned.at(1).startsWith("taken: ") && warned.at(1).contains("Another program"),
                 qPrintable(warned.at(1)));
        auto *tray = m_window->findChild<QSystemTrayIcon *>();
        QVERIFY(tray->toolTip().endsWith(QLatin1String("2 hot keys unavailable")));

        other.ungrab(t, ctrlAlt);
        master()->setCheckState(0, Qt::Unchecked);
        QCOMPARE(marked(), QStringList());
        master()->setCheckState(0, Qt::Checked);
        QCOMPARE(marked(), warned.mid(0, 1));
        QVERIFY(tray->toolTip().endsWith(QLatin1String("1 hot keys unavailable")));
    }

    void consoleKeyRefusedAtSave()
    {
        m_tree->setCurrentItem(master()->child(1)); // "note", on Ctrl+Alt+1
        auto *keys = m_window->findChild<QComboBox *>(QStringLiteral("shortcutKey"));
        const int f5 = keys->findData(int(Qt::Key_F5));
        QVERIFY(!keys->itemIcon(f5).isNull());
        QVERIFY(keys->itemData(f5, Qt::ToolTipRole).toString().contains(QLatin1String("console")));
        keys->setCurrentIndex(f5);
        m_window->findChild<QPushButton *>(QStringLiteral("btnUpdate"))->click();
        QVERIFY(m_dialogs.asked.value(0).contains(QLatin1String("console")));
        QCOMPARE(m_window->store().noteCodes(Master).value(1).code, NoteCode);
        m_window->findChild<QPushButton *>(QStringLiteral("btnRevert"))->click();
    }
};

QTEST_MAIN(TestPasteTargets)
#include "tst_pastetargets.moc"
