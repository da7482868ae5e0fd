// Delivery where people type, on a real X server: a hot key pressed from a second X client puts
// the note's text, whole and once, into a Qt field while the user still holds the modifiers,
// whatever the locks, the layout or the key held down; into real terminals; the clipboard put
// back or not; the hot keys that cannot work marked before anyone is surprised; and the tray,
// with a real tray host and without one.
#include "hotkeys/hotkeycontroller.h"
#include "hotkeys/hotkeyplatform.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"
#include "support/trayhost.h"
#include "widgets/checktreewidget.h"
#include "xclient.h"

#include <memory>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <X11/keysym.h>
#include <X11/X.h>
#include <X11/XKBlib.h>

namespace {

const QString Master = QStringLiteral("Live");
const QString Text = QStringLiteral("Dear reader,\n\tthis arrives whole.");
const QString Earlier = QStringLiteral("what was there before");
const int NoteCode = (Qt::CTRL | Qt::ALT | Qt::Key_1).toCombined();

enum class Situation { Plain, NumLock, CapsLock, PasteKey, Held, HeldDetectable, KeyMoved, VMoved };

} // namespace

class TestPasteTargets final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    const std::unique_ptr<HotKeyPlatform> m_platform = HotKeyPlatform::create();
    XClient m_keyboard;
    ScriptedDialogs m_dialogs;
    QPlainTextEdit m_field; // the Qt target
    std::unique_ptr<MainWindow> m_window;
    CheckTreeWidget *m_tree = nullptr;
    TrayHost m_trayHost;

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
        const int ctrlAlt = Qt::CTRL | Qt::ALT;
        TestEnvironment::writeNote(Master, "note", NoteCode, Text);
        TestEnvironment::writeNote(Master, "taken", ctrlAlt | Qt::Key_T, "t");
        TestEnvironment::writeNote(Master, "console", ctrlAlt | Qt::Key_F5, "c");
        // The paste key stroke itself as a hot key: the program's own paste must not set it off.
        TestEnvironment::writeNote(Master, "paste", int(Qt::CTRL) | Qt::Key_V, Text);
        // A user would confirm xfce4-terminal's question before it pastes several lines.
        QVERIFY(QDir(m_env.configDir()).mkpath("xfce4/terminal"));
        QFile rc(m_env.configDir() + "/xfce4/terminal/terminalrc");
        QVERIFY(rc.open(QIODevice::WriteOnly) &&
                rc.write("[Configuration]\nMiscShowUnsafePasteDialog=FALSE\n") > 0);
        m_window = std::make_unique<MainWindow>(*m_platform, &m_dialogs);
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
        QTest::addColumn<Situation>("situation");
        QTest::addColumn<int>("holdMs"); // the keys kept down this long after the press
        QTest::addColumn<bool>("restore");
        const QString qt = "qt", us = "us";
        QTest::newRow("Qt, Ctrl+Alt held, clipboard put back")
            << qt << us << Situation::Plain << 1600 << true;
        QTest::newRow("xterm") << "xterm" << us << Situation::Plain << 0 << false;
        QTest::newRow("VTE terminal") << "xfce4-terminal" << us << Situation::Plain << 0 << false;
        QTest::newRow("Russian layout") << qt << "ru" << Situation::Plain << 0 << false;
        QTest::newRow("US layout again, clipboard kept")
            << qt << us << Situation::Plain << 0 << false;
        QTest::newRow("NumLock") << qt << us << Situation::NumLock << 0 << false;
        QTest::newRow("CapsLock") << qt << us << Situation::CapsLock << 0 << false;
        QTest::newRow("Ctrl+V") << qt << us << Situation::PasteKey << 0 << false;
        // A user holding the hot key well past the repeat delay, letting go before the paste.
        // (In another program: a field of this process would get the repeats the grab takes.)
        QTest::newRow("held") << "xterm" << us << Situation::Held << 400 << false;
        QTest::newRow("held, detectable")
            << "xterm" << us << Situation::HeldDetectable << 400 << false;
        QTest::newRow("layout moves the hot key") << qt << us << Situation::KeyMoved << 0 << false;
        QTest::newRow("layout moves V") << qt << us << Situation::VMoved << 0 << false;
    }

    void pastes()
    {
        QFETCH(QString, target);
        QFETCH(QString, layout);
        QFETCH(Situation, situation);
        QFETCH(int, holdMs);
        QFETCH(bool, restore);
        Preferences preferences;
        preferences.setRestoreClipboard(restore);
        m_window->hotKeys().setPreferences(preferences);
        QCOMPARE(QProcess::execute(QStringLiteral("setxkbmap"), {layout}), 0);
        QGuiApplication::clipboard()->setText(Earlier);

        QProcess terminal;
        const QString typed = m_env.configDir() + QStringLiteral("/typed-") + target;
        QFile::remove(typed);
        if (target == QLatin1String("qt")) {
            // No window manager here: the field takes the X input focus itself.
            m_field.clear();
            m_field.activateWindow();
            QTRY_VERIFY(m_field.hasFocus());
        } else {
            // A shell that writes what the terminal gives it, byte for byte as it comes, to a
            // file that it makes once the terminal is set up. The terminal gets the focus as a user
            // would give it.
            const QString options = target == "xterm" ? "-e" : "--disable-server -x";
            terminal.startCommand(QStringLiteral("%1 -T keyquill-target %2 sh -c \"stty -icanon "
                                                 "-echo; cat > %3\"")
                                      .arg(target, options, typed));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(typed), 20000);
            QCOMPARE(QProcess::execute("xdotool", {"search", "--sync", "--name", "keyquill-target",
                                                   "windowfocus", "--sync"}),
                     0);
        }
        master()->setCheckState(0, Qt::Checked);

        const bool pasteKey = situation == Situation::PasteKey;
        const QList<unsigned long> modifiers = pasteKey
                                                   ? QList<unsigned long>{XK_Control_L}
                                                   : QList<unsigned long>{XK_Control_L, XK_Alt_L};
        const unsigned long key = pasteKey ? XK_v : XK_1;
        unsigned keycode = m_keyboard.keycode(key);
        std::function<void()> back = [] {};
        const auto restoreKeyboard = qScopeGuard([&] { back(); });
        const unsigned long lock = situation == Situation::NumLock    ? XK_Num_Lock
                                   : situation == Situation::CapsLock ? XK_Caps_Lock
                                                                      : NoSymbol;
        if (lock != NoSymbol) {
            m_keyboard.press({}, m_keyboard.keycode(lock)); // the server has it on return
            back = [this, lock] { m_keyboard.press({}, m_keyboard.keycode(lock)); };
        }
        const bool held = situation == Situation::Held || situation == Situation::HeldDetectable;
        // How repeats reach a client is its own choice, made on Qt's connection.
        XkbSetDetectableAutoRepeat(
            qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display(),
            situation == Situation::HeldDetectable, nullptr);
        if (held) {
            m_keyboard.repeat(100, 25);
            back = [this] { m_keyboard.repeat(660, 40); }; // the server's defaults
        }
        if (situation == Situation::KeyMoved)
            keycode = m_keyboard.moveKey(keycode, XK_F33, &back);
        if (situation == Situation::VMoved)
            m_keyboard.moveKey(m_keyboard.keycode(XK_v), XK_F34, &back);
        QTest::qWait(200); // a mapping change reaches the program through its event loop

        QElapsedTimer clock;
        clock.start();
        m_keyboard.keys(modifiers, true);
        if (held)
            m_keyboard.keys({key}, true);
        else
            m_keyboard.press({}, keycode);
        QTest::qWait(holdMs); // the user's own hold, not a wait for the program
        if (held)
            m_keyboard.keys({key}, false);
        m_keyboard.keys(modifiers, false);

        const auto arrived = [&] {
            return target == "qt" ? m_field.toPlainText().toUtf8()
                                  : TestEnvironment::fileBytes(typed);
        };
        QTRY_COMPARE_WITH_TIMEOUT(arrived(), Text.toUtf8(), 5000);
        QVERIFY(clock.elapsed() >= HotKeyController::PasteDelayMs);
        // One press, one paste: a repeat, or the program's own paste caught by its own Ctrl+V
        // grab, would paste again a second and a half later. By then the clipboard is back too.
        QTest::qWait(2500);
        QCOMPARE(arrived(), Text.toUtf8());
        QCOMPARE(QGuiApplication::clipboard()->text(), restore ? Earlier : Text);
        terminal.kill();
        terminal.waitForFinished();
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
        QVERIFY(tray->toolTip().endsWith(QLatin1String("\n1 hot key unavailable")));
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

    void masterChosenInTrayPastes()
    {
        QVERIFY(m_trayHost.start());
        m_field.clear();
        m_field.activateWindow();
        QTRY_VERIFY(m_field.hasFocus());
        MainWindow window(*m_platform);
        window.close();
        auto *tray = window.findChild<QSystemTrayIcon *>();
        const QImage plain = tray->icon().pixmap(32).toImage();
        tray->contextMenu()->actions().first()->trigger();   // "Live"
        QVERIFY(tray->icon().pixmap(32).toImage() != plain); // the mark of live hot keys
        m_keyboard.press({XK_Control_L, XK_Alt_L}, m_keyboard.keycode(XK_1));
        QTRY_COMPARE_WITH_TIMEOUT(m_field.toPlainText(), Text, 5000);
        m_trayHost.stop();
    }

    void closedWindowStaysFindableAndQuits_data()
    {
        QTest::addColumn<bool>("hostAtClose");
        QTest::addColumn<bool>("hostLater");
        QTest::addColumn<bool>("shownAtQuit");
        QTest::newRow("tray: hidden") << true << false << false;
        QTest::newRow("tray: shown again, then quit") << true << false << true;
        QTest::newRow("no tray: minimized") << false << false << false;
        QTest::newRow("tray comes later: hidden then") << false << true << false;
    }
    // "&Quit" ends the program whatever the window and the tray are doing.
    void closedWindowStaysFindableAndQuits()
    {
        QFETCH(bool, hostAtClose);
        QFETCH(bool, hostLater);
        QFETCH(bool, shownAtQuit);
        QVERIFY(!hostAtClose || m_trayHost.start());
        QTRY_COMPARE(QSystemTrayIcon::isSystemTrayAvailable(), hostAtClose);
        MainWindow window(*m_platform);
        window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        QCOMPARE(window.isVisible() && window.isMinimized(), !hostAtClose);
        QVERIFY(!hostLater || m_trayHost.start());
        QTRY_COMPARE_WITH_TIMEOUT(window.isVisible(), !hostAtClose && !hostLater, 5000);
        if (shownAtQuit) {
            // In an X11 tray a single click does nothing; a double click shows the window.
            auto *icon = window.findChild<QSystemTrayIcon *>();
            icon->setToolTip("this icon"); // tells Qt's window in the tray from the other icon's
            QString docked;
            for (QWidget *widget : QApplication::topLevelWidgets())
                docked =
                    widget->toolTip() == "this icon" ? QString::number(widget->winId()) : docked;
            QSignalSpy clicks(icon, &QSystemTrayIcon::activated);
            QProcess::execute("xdotool", {"mousemove", "--window", docked, "5", "5", "click", "1"});
            QVERIFY(clicks.wait() && !window.isVisible());
            QProcess::execute("xdotool", {"click", "--repeat", "2", "--delay", "50", "1"});
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        } else {
            m_trayHost.stop();
        }
        QAction *quit = window.findChild<QSystemTrayIcon *>()->contextMenu()->actions().last();
        QCOMPARE(quit->text(), QStringLiteral("&Quit"));
        QTimer::singleShot(0, quit, &QAction::trigger);
        QTimer::singleShot(3000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
        m_trayHost.stop();
    }
};

QTEST_MAIN(TestPasteTargets)
#include "tst_pastetargets.moc"
