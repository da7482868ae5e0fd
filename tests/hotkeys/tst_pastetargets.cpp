// Delivery where people type, on a real X server: a hot key pressed from a second X client puts
// the note's text, whole and once, into a Qt field while the user still holds the modifiers,
// whatever the locks, the layout or the key held down; into real terminals; the clipboard put
// back or not; the hot keys that cannot work marked before anyone is surprised; the tray, with a
// real tray host and without one; and the guard between real processes of the program, seen
// from outside: exit codes and windows (through xdotool and xprop, as a window manager sees them).
// A text of several scripts typed rather than pasted, under layouts that lack most of it.
#include "app/application.h"
#include "app/guardchannel.h"
#include "hotkeys/platform.h"
#include "hotkeys/x11/x11keysyms.h"
#include "hotkeys/x11/x11targetping.h"
#include "mainwindow/mainwindow.h"
#include "store/lastlivemaster.h"
#include "store/preferences.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"
#include "support/trayhost.h"
#include "tray/trayicon.h"
#include "xclient.h"

#include <QtTest>
#include <QtWidgets>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/X.h>
#include <X11/XKBlib.h>

#include <csignal>

namespace {

const QString Master = QStringLiteral("Live");
const QString Text = QStringLiteral("Dear reader,\n\tthis arrives whole.");
// More characters the layouts lack than there are spare places, so that places are lent anew.
const QString TypedText =
    QStringLiteral("Привет, Ёлка! «Щ»\n\tCafé naïve — Ωμέγα, 中文 😀 ß\n"
                   "天地玄黄宇宙洪荒日月盈昃辰宿列张寒来暑往秋收冬藏闰余成岁律吕调阳"
                   "云腾致雨露结为霜金生丽水玉出昆冈剑号巨阙珠称夜光果珍李柰菜重芥姜\nend");
const QString Earlier = QStringLiteral("what was there before");
const int NoteCode = (Qt::CTRL | Qt::ALT | Qt::Key_1).toCombined();

// Typed (a text of several scripts): under a Russian layout; TypedInGroup2: German in group 2.
enum class Situation {
    Plain,
    Russian,
    NumLock,
    CapsLock,
    CtrlV,
    Held,
    HeldSeen,
    KeyMoved,
    VMoved,
    Typed,
    TypedInGroup2
};

QString output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).section('\n', 0, 0);
}

// The mapped window of the process titled title, or "" when there is none.
QString window(const QProcess &process, const QString &title = "Key-Quill by Orlenvar")
{
    return output("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                              QString::number(process.processId()), "--name", '^' + title + '$'});
}

// Starts the program itself.
void start(QProcess &process, const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(KEYQUILL_BINARY, arguments);
    process.waitForStarted();
}

} // namespace

class TestPasteTargets final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    const std::unique_ptr<Platform> m_platform = Platform::create();
    XClient m_keyboard;
    ScriptedDialogs m_dialogs;
    QPlainTextEdit m_field; // the Qt target
    std::unique_ptr<Application> m_app;
    MainWindow *m_window = nullptr;
    QTreeWidget *m_tree = nullptr;
    TrayHost m_trayHost;
    QTemporaryDir m_runtime; // the guard's private folder, gone with the test

    QTreeWidgetItem *master() const { return m_tree->topLevelItem(0); }
    // "note: tool tip" for each note whose row carries the warning icon.
    QStringList marked() const
    {
        QStringList notes;
        for (int i = 0; i < master()->childCount(); ++i)
            if (!master()->child(i)->icon(1).isNull())
                notes << master()->child(i)->text(0) + ": " + master()->child(i)->toolTip(1);
        return notes;
    }

    // Gives `target` the focus: the Qt field, or a terminal running a shell that writes what the
    // terminal gives it, byte for byte as it comes, to `typed`, which it makes once the terminal
    // is set up.
    void focus(const QString &target, QProcess &terminal, const QString &typed)
    {
        QFile::remove(typed);
        if (target == "qt") {
            // No window manager here: the field takes the X input focus itself.
            m_field.clear();
            QCOMPARE(QProcess::execute("xdotool",
                                       {"windowfocus", "--sync", QString::number(m_field.winId())}),
                     0);
            m_field.activateWindow();
            QTRY_VERIFY(m_field.hasFocus());
            return;
        }
        // urxvt's own guard would ask before a paste of several lines, as xfce4-terminal's.
        const QString options = target == "xterm"   ? "-e"
                                : target == "urxvt" ? "-pe -confirm-paste -e"
                                                    : "--disable-server -x";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C.UTF-8"); // what is typed arrives as UTF-8
        terminal.setProcessEnvironment(env);
        terminal.startCommand(
            QString("%1 -T keyquill-target %2 sh -c \"stty -icanon -echo; cat > %3\"")
                .arg(target, options, typed));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(typed), 20000);
        // The terminal gets the focus as a user would give it, once its window is mapped: the
        // focus cannot be given to one that is not (BadMatch).
        QCOMPARE(QProcess::execute("xdotool", {"search", "--sync", "--onlyvisible", "--name",
                                               "keyquill-target", "windowfocus", "--sync"}),
                 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_keyboard.isOpen(), "no X server");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
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
        m_app = std::make_unique<Application>(*m_platform, &m_dialogs, Application::Options{false});
        m_window = &m_app->window();
        m_field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_field));
        m_tree = m_window->findChild<QTreeWidget *>("treeMacros");
    }

    void cleanup()
    {
        m_trayHost.stop();
        master()->setCheckState(0, Qt::Unchecked);
        QCOMPARE(QProcess::execute("setxkbmap", {"us"}), 0);
        TestEnvironment::writeNote(Master, "note", NoteCode, Text); // a typed row changed it
    }

    void pastes_data()
    {
        QTest::addColumn<QString>("target"); // "qt", or a terminal program
        QTest::addColumn<Situation>("situation");
        QTest::addColumn<int>("holdMs"); // the keys kept down this long after the press
        QTest::addColumn<bool>("restore");
        QTest::addColumn<bool>("ctrlShift"); // the hot key Ctrl+Shift+1, else Ctrl+Alt+1
        const auto row = [](const char *tag, const char *target, Situation situation,
                            int holdMs = 0, bool restore = false, bool ctrlShift = false) {
            QTest::newRow(tag) << QString(target) << situation << holdMs << restore << ctrlShift;
        };
        row("Qt, Ctrl+Alt held, clipboard put back", "qt", Situation::Plain, 1600, true);
        row("xterm", "xterm", Situation::Plain);
        row("VTE terminal", "xfce4-terminal", Situation::Plain);
        // urxvt takes the bare Ctrl+Shift our grab leaves it for the start of a keycap picture.
        row("urxvt, Ctrl+Shift", "urxvt", Situation::Plain, 0, false, true);
        row("Russian layout", "qt", Situation::Russian);
        row("US layout again, clipboard kept", "qt", Situation::Plain);
        row("NumLock", "qt", Situation::NumLock);
        row("CapsLock", "qt", Situation::CapsLock);
        row("Ctrl+V", "qt", Situation::CtrlV);
        // A user holding the hot key well past the repeat delay, letting go before the paste.
        // (In another program: a field of this process would get the repeats the grab takes.)
        row("held", "xterm", Situation::Held, 400);
        row("held, detectable", "xterm", Situation::HeldSeen, 400);
        row("layout moves the hot key", "qt", Situation::KeyMoved);
        row("layout moves V", "qt", Situation::VMoved);
        row("typed, xterm", "xterm", Situation::Typed);
        row("typed, VTE terminal", "xfce4-terminal", Situation::Typed);
        row("typed, urxvt, Ctrl+Shift", "urxvt", Situation::Typed, 0, false, true);
        row("typed, Qt, CapsLock on", "qt", Situation::Typed);
        row("typed, Qt, second group", "qt", Situation::TypedInGroup2);
    }

    void pastes()
    {
        QFETCH(QString, target);
        QFETCH(Situation, situation);
        QFETCH(int, holdMs);
        QFETCH(bool, restore);
        QFETCH(bool, ctrlShift);
        const bool typing = situation == Situation::Typed || situation == Situation::TypedInGroup2;
        const QString text = typing ? TypedText : Text;
        const unsigned long second = ctrlShift ? XK_Shift_L : XK_Alt_L;
        TestEnvironment::writeNote(
            Master, "note", ctrlShift ? (Qt::CTRL | Qt::SHIFT | Qt::Key_1).toCombined() : NoteCode,
            text);
        Preferences preferences;
        preferences.setRestoreClipboard(restore);
        if (typing) { // the terminals by name, the Qt field as every other program
            preferences.setPasteKeys({{target, PasteStroke::Type}});
            preferences.setDefaultPasteKey(PasteStroke::Type);
        }
        m_app->apply(preferences);
        const bool russian = situation == Situation::Russian || situation == Situation::Typed;
        QCOMPARE(QProcess::execute("setxkbmap", {"-layout", russian  ? "ru"
                                                            : typing ? "us,de"
                                                                     : "us"}),
                 0);
        Display *display = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
        XkbLockGroup(display, XkbUseCoreKbd, situation == Situation::TypedInGroup2 ? 1 : 0);
        XSync(display, False);
        QGuiApplication::clipboard()->setText(Earlier);

        QProcess terminal;
        const QString typed = m_env.configDir() + "/typed-" + target;
        focus(target, terminal, typed);
        if (QTest::currentTestFailed())
            return;
        master()->setCheckState(0, Qt::Checked);

        const bool pasteKey = situation == Situation::CtrlV;
        const auto modifiers = QList<unsigned long>{XK_Control_L, second}.mid(0, 2 - pasteKey);
        const unsigned long key = pasteKey ? XK_v : XK_1;
        unsigned keycode = m_keyboard.keycode(key);
        std::function<void()> back = [] {};
        const auto restoreKeyboard = qScopeGuard([&] { back(); });
        const unsigned long lock =
            situation == Situation::NumLock ? XK_Num_Lock
            : situation == Situation::CapsLock || (typing && target == "qt" && russian)
                ? XK_Caps_Lock
                : NoSymbol;
        if (lock != NoSymbol) {
            m_keyboard.press({}, m_keyboard.keycode(lock)); // the server has it on return
            back = [this, lock] { m_keyboard.press({}, m_keyboard.keycode(lock)); };
        }
        const bool held = situation == Situation::Held || situation == Situation::HeldSeen;
        // How repeats reach a client is its own choice, made on Qt's connection.
        XkbSetDetectableAutoRepeat(
            qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display(),
            situation == Situation::HeldSeen, nullptr);
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
        QTRY_COMPARE_WITH_TIMEOUT(arrived(), text.toUtf8(), 5000);
        QVERIFY(clock.elapsed() >= Delivery::Timing().pasteDelayMs);
        // One press, one paste: a repeat, or the program's own paste caught by its own Ctrl+V
        // grab, would paste again a second and a half later. By then the clipboard is back too.
        QTest::qWait(2500);
        QCOMPARE(arrived(), text.toUtf8());
        // Typing leaves the clipboard alone.
        QCOMPARE(QGuiApplication::clipboard()->text(), restore || typing ? Earlier : Text);
        terminal.kill();
        terminal.waitForFinished();
    }

    // A target that echoes pings tells when it has handled the keys typed before, until it
    // stops echoing; one that does not is never waited for.
    void targetsEchoPings_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("echoes");
        QTest::newRow("Qt field") << "qt" << true;
        QTest::newRow("VTE terminal, stopped a while") << "xfce4-terminal" << true;
        QTest::newRow("xterm: offers none") << "xterm" << false;
    }

    void targetsEchoPings()
    {
        QFETCH(QString, target);
        QFETCH(bool, echoes);
        QProcess terminal;
        focus(target, terminal, m_env.configDir() + "/echo-" + target);
        if (QTest::currentTestFailed())
            return;
        Display *display = XOpenDisplay(nullptr);
        const auto closeDisplay = qScopeGuard([display] { XCloseDisplay(display); });
        X11TargetPing ping(display);
        QCOMPARE(ping.answers(), echoes);
        if (echoes) {
            QCOMPARE(ping.send(), 1u);
            QCOMPARE(ping.send(), 2u);
            QTRY_COMPARE(ping.answered(), 2u);
            QVERIFY(ping.answers());
        }
        if (target == "xfce4-terminal") {
            ::kill(pid_t(terminal.processId()), SIGSTOP);
            const auto resume = qScopeGuard([&] { ::kill(pid_t(terminal.processId()), SIGCONT); });
            ping.send();
            QElapsedTimer clock;
            clock.start();
            QTRY_VERIFY_WITH_TIMEOUT(!ping.answers(), X11TargetPing::OverdueMs + 10000);
            QVERIFY(clock.elapsed() >= X11TargetPing::OverdueMs); // left to the wait
            QCOMPARE(ping.answered(), 2u);
            ::kill(pid_t(terminal.processId()), SIGCONT);
            QTRY_COMPARE(ping.answered(), 3u);
            QVERIFY(ping.answers());
        }
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

        // The key of "Pick a note" held by another program is told of too, and taken once free.
        const unsigned q = m_keyboard.keycode(XK_q);
        QVERIFY(other.grab(q, ctrlAlt));
        Preferences preferences;
        preferences.setQuickPickShortcut((Qt::CTRL | Qt::ALT | Qt::Key_Q).toCombined());
        m_app->apply(preferences);
        QVERIFY2(tray->toolTip().contains("\"Pick a note\" (Ctrl+Alt+Q) is unavailable"),
                 qPrintable(tray->toolTip()));
        other.ungrab(q, ctrlAlt);
        m_app->keys().retryUnavailable();
        QTRY_VERIFY(!tray->toolTip().contains("Pick a note"));
        QVERIFY(m_app->keys().quickPickRegistered());
        m_app->apply(Preferences());
    }

    void masterChosenInTrayPastes()
    {
        QVERIFY(m_trayHost.start());
        QProcess none;
        focus("qt", none, QString());
        Application program(*m_platform, nullptr, Application::Options{false});
        MainWindow &window = program.window();
        window.close();
        auto *tray = window.findChild<QSystemTrayIcon *>();
        const QImage plain = tray->icon().pixmap(32).toImage();
        tray->contextMenu()->actions().first()->trigger();   // "Live"
        QVERIFY(tray->icon().pixmap(32).toImage() != plain); // the mark of live hot keys
        m_keyboard.press({XK_Control_L, XK_Alt_L}, m_keyboard.keycode(XK_1));
        QTRY_COMPARE_WITH_TIMEOUT(m_field.toPlainText(), Text, 5000);
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
        Application program(*m_platform, nullptr, Application::Options{false});
        MainWindow &window = program.window();
        window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&window, 20000));
        // Until the session bus has said whether a tray of its kind runs, a close only hides.
        QTRY_VERIFY_WITH_TIMEOUT(window.findChild<TrayIcon *>()->knowsTray(), 20000);
        window.close();
        QCOMPARE(window.isVisible() && window.isMinimized(), !hostAtClose);
        QVERIFY(!hostLater || m_trayHost.start());
        QTRY_COMPARE_WITH_TIMEOUT(window.isVisible(), !hostAtClose && !hostLater, 20000);
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
        QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(1); }); // not a hang
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    // Hidden means hidden in a tray: without one, closing minimizes.
    void secondStartRestoresHiddenWindow()
    {
        QVERIFY(m_trayHost.start());
        QProcess first;
        start(first, {"--minimize-to-tray"});
        // Its window stays hidden: it is ready once it holds the guard.
        QVERIFY(
            QTest::qWaitFor([this] { return GuardChannel::isHeld(m_env.instanceKey()); }, 10000));
        QTest::qWait(500);
        QVERIFY(window(first).isEmpty()); // --minimize-to-tray: no window, only the tray icon
        QProcess second;
        start(second, {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 254); // -2
        QTRY_VERIFY_WITH_TIMEOUT(!window(first).isEmpty(), 5000);
        const QString state = output("xprop", {"-id", window(first), "_NET_WM_STATE"});
        QVERIFY2(state.contains("MAXIMIZED_VERT") && state.contains("MAXIMIZED_HORZ"),
                 qPrintable(state));
        // What a log-out sends ends it as "&Quit" does, the guard let go of on the way.
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QVERIFY(!GuardChannel::isHeld(m_env.instanceKey()));
    }

    // Killed while typing, the program leaves spare keys lent; the next start gives them back
    // and types such characters again.
    void killedWhileTypingNextStartGivesKeysBack()
    {
        QVERIFY(m_trayHost.start());
        Display *display = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
        const qsizetype spares = x11SpareKeycodes(display).size();
        QString longText; // more different characters than places, for seconds
        for (int i = 0; i < 3000; ++i)
            longText += QChar(0x4e00 + i % 400);
        TestEnvironment::writeNote(Master, "note", NoteCode, longText);
        Preferences preferences;
        preferences.setDefaultPasteKey(PasteStroke::Type);
        preferences.setTickLastLiveAtStart(true);
        QVERIFY(preferences.save() && LastLiveMaster::write(Master));
        const auto forget = qScopeGuard([] {
            Preferences().save();
            LastLiveMaster::forget();
        });
        QProcess none;
        focus("qt", none, QString());
        // The program has come up once no other client can take its hot key.
        const unsigned one = m_keyboard.keycode(XK_1);
        const unsigned ctrlAlt = ControlMask | Mod1Mask;
        const auto hotKeyTaken = [&] {
            const bool free = m_keyboard.grab(one, ctrlAlt);
            if (free)
                m_keyboard.ungrab(one, ctrlAlt);
            return !free;
        };
        QProcess killed;
        start(killed, {"--minimize-to-tray"});
        QTRY_VERIFY_WITH_TIMEOUT(hotKeyTaken(), 20000);
        m_keyboard.press({XK_Control_L, XK_Alt_L}, one);
        QTRY_VERIFY_WITH_TIMEOUT(x11SpareKeycodes(display).size() < spares, 20000);
        ::kill(pid_t(killed.processId()), SIGKILL);
        QVERIFY(killed.waitForFinished());
        QVERIFY(x11SpareKeycodes(display).size() < spares);
        // A key it was pressing is let go of, and the field has every key it got.
        char down[32];
        XQueryKeymap(display, down);
        for (int keycode = 8; keycode < 256; ++keycode)
            if (down[keycode / 8] & (1 << (keycode % 8)))
                XTestFakeKeyEvent(display, unsigned(keycode), False, CurrentTime);
        XSync(display, False);
        Display *pinging = XOpenDisplay(nullptr);
        const auto closePinging = qScopeGuard([pinging] { XCloseDisplay(pinging); });
        X11TargetPing ping(pinging);
        ping.send();
        QTRY_COMPARE(ping.answered(), 1u);
        m_field.clear();

        const QString shortText = QStringLiteral("中文字 ok");
        TestEnvironment::writeNote(Master, "note", NoteCode, shortText);
        QProcess next;
        start(next, {"--minimize-to-tray"});
        QTRY_COMPARE_WITH_TIMEOUT(x11SpareKeycodes(display).size(), spares, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(hotKeyTaken(), 20000);
        m_keyboard.press({XK_Control_L, XK_Alt_L}, one);
        QTRY_COMPARE_WITH_TIMEOUT(m_field.toPlainText(), shortText, 20000);
        next.terminate();
        QVERIFY(next.waitForFinished());
    }

    void guardThatCannotBeMadeShowsWhyThenRuns()
    {
        QVERIFY(m_trayHost.start());
        QProcess unguarded;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KEYQUILL_INSTANCE_KEY", "no/such/folder");
        unguarded.setProcessEnvironment(env);
        start(unguarded, {});
        QTRY_VERIFY_WITH_TIMEOUT(!window(unguarded, "Keyquill").isEmpty(), 10000);
        QVERIFY(window(unguarded).isEmpty()); // the message comes first
        QCOMPARE(QProcess::execute("xdotool", {"windowfocus", "--sync",
                                               window(unguarded, "Keyquill"), "key", "Return"}),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(!window(unguarded).isEmpty(), 10000);
    }
};

QTEST_MAIN(TestPasteTargets)
#include "tst_pastetargets.moc"
