// End to end on a real X server: a hot key pressed in another client's window puts the note's
// text on the clipboard and sends that window one paste key stroke, whatever the locks, the
// layout or the key held down; the tray, with a real tray host and without one.
#include "support/testenv.h"
#include "support/trayhost.h"
#include "xclient.h"

#include "hotkeys/hotkeycontroller.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>

#include <X11/keysym.h>
#include <X11/XKBlib.h>

namespace {

enum class Situation { Plain, NumLock, CapsLock, PasteKey, Held, HeldDetectable, KeyMoved, VMoved };

const QList<KeySym> CtrlAlt{XK_Control_L, XK_Alt_L};
const QString Greeting = QStringLiteral("Dear reader,\nthis arrives whole.\n\tIndented");

} // namespace

class TestX11Paste final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    MacroStore m_store;
    XClient m_keyboard;
    TrayHost m_trayHost;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_keyboard.isOpen(), "no X server");
        TestEnvironment::writeNote("X", "a", Qt::CTRL | Qt::ALT | Qt::Key_A, Greeting);
        TestEnvironment::writeNote("X", "k", Qt::CTRL | Qt::ALT | Qt::Key_K, "locks");
        TestEnvironment::writeNote("X", "v", (Qt::CTRL | Qt::Key_V).toCombined(), "paste key");
        TestEnvironment::writeNote("X", "f9", Qt::CTRL | Qt::SHIFT | Qt::Key_F9, "moved key");
        m_keyboard.takeFocus();
    }

    void pastes_data()
    {
        QTest::addColumn<Situation>("situation");
        QTest::addColumn<QList<KeySym>>("modifiers");
        QTest::addColumn<uint>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << Situation::Plain << CtrlAlt << uint(XK_a) << Greeting;
        QTest::newRow("NumLock") << Situation::NumLock << CtrlAlt << uint(XK_k) << "locks";
        QTest::newRow("CapsLock") << Situation::CapsLock << CtrlAlt << uint(XK_k) << "locks";
        QTest::newRow("Ctrl+V") << Situation::PasteKey << QList<KeySym>{XK_Control_L} << uint(XK_v)
                                << "paste key";
        QTest::newRow("held") << Situation::Held << CtrlAlt << uint(XK_k) << "locks";
        QTest::newRow("held, detectable")
            << Situation::HeldDetectable << CtrlAlt << uint(XK_k) << "locks";
        QTest::newRow("layout moves the hot key")
            << Situation::KeyMoved << QList<KeySym>{XK_Control_L, XK_Shift_L} << uint(XK_F9)
            << "moved key";
        QTest::newRow("layout moves V") << Situation::VMoved << CtrlAlt << uint(XK_a) << Greeting;
    }
    void pastes()
    {
        QFETCH(Situation, situation);
        QFETCH(QList<KeySym>, modifiers);
        QFETCH(uint, key);
        QFETCH(QString, text);
        const int pastesBefore = m_keyboard.pastes();
        QGuiApplication::clipboard()->clear();
        unsigned keycode = m_keyboard.keycode(key);
        std::function<void()> back = [] {};
        const auto restore = qScopeGuard([&] { back(); });
        HotKeyController keys(m_store);
        keys.activate("X");
        QVERIFY(keys.unavailable().isEmpty());

        const KeySym lock = situation == Situation::NumLock    ? XK_Num_Lock
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
        if (held) {
            // A user holding the hot key well past the repeat delay, letting go before the paste.
            m_keyboard.keys(modifiers + QList<KeySym>{key}, true);
            QTest::qWait(400);
            m_keyboard.keys(modifiers + QList<KeySym>{key}, false);
        } else {
            m_keyboard.press(modifiers, keycode);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_keyboard.pastes(), pastesBefore + 1, 5000);
        QVERIFY(clock.elapsed() >= HotKeyController::PasteDelayMs);
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
        // One press, one paste: a repeat, or the program's own paste caught by its own Ctrl+V
        // grab, would paste again a second and a half later.
        QTest::qWait(2500);
        QCOMPARE(m_keyboard.pastes(), pastesBefore + 1);
    }

    void masterChosenInTrayPastes()
    {
        QVERIFY(m_trayHost.start());
        m_keyboard.takeFocus();
        const int pastesBefore = m_keyboard.pastes();
        MainWindow window;
        window.close();
        auto *tray = window.findChild<QSystemTrayIcon *>();
        const QImage plain = tray->icon().pixmap(32).toImage();
        tray->contextMenu()->actions().first()->trigger();   // "X"
        QVERIFY(tray->icon().pixmap(32).toImage() != plain); // the mark of live hot keys
        m_keyboard.press(CtrlAlt, m_keyboard.keycode(XK_a));
        QTRY_COMPARE_WITH_TIMEOUT(m_keyboard.pastes(), pastesBefore + 1, 5000);
        m_trayHost.stop();
    }

    void closedWindowStaysFindable_data()
    {
        QTest::addColumn<bool>("hostAtClose");
        QTest::addColumn<bool>("hostLater");
        QTest::newRow("tray: hidden") << true << false;
        QTest::newRow("no tray: minimized") << false << false;
        QTest::newRow("tray comes later: hidden then") << false << true;
    }
    void closedWindowStaysFindable()
    {
        QFETCH(bool, hostAtClose);
        QFETCH(bool, hostLater);
        QVERIFY(!hostAtClose || m_trayHost.start());
        QTRY_COMPARE(QSystemTrayIcon::isSystemTrayAvailable(), hostAtClose);
        MainWindow window;
        window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        QCOMPARE(window.isVisible() && window.isMinimized(), !hostAtClose);
        QVERIFY(!hostLater || m_trayHost.start());
        QTRY_COMPARE_WITH_TIMEOUT(window.isVisible(), !hostAtClose && !hostLater, 5000);
        m_trayHost.stop();
        // A quit closes the window also while it waits in the task bar.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QTimer::singleShot(3000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(TestX11Paste)
#include "tst_x11paste.moc"
