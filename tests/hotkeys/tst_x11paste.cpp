// End to end on a real X server: a hot key pressed by another client pastes the note's text
// into the focused text field, whatever the locks, the layout or the key held down; the tray,
// with a real tray host and without one.
#include "support/testenv.h"
#include "support/trayhost.h"
#include "xclient.h"

#include "hotkeys/hotkeycontroller.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTest>

#include <X11/keysym.h>
#include <X11/X.h>
#include <X11/XKBlib.h>

namespace {

enum class Situation {
    Plain, NumLock, CapsLock, PasteKey, Held, HeldDetectable, KeyMoved, VMoved, ForeignGrab
};

const QList<unsigned long> CtrlAlt{XK_Control_L, XK_Alt_L};
const QString Greeting = QStringLiteral("Dear reader,\nthis arrives whole.\n\tIndented");

} // namespace

class TestX11Paste final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    MacroStore m_store;
    XClient m_keyboard;
    QPlainTextEdit m_field;
    TrayHost m_trayHost;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_keyboard.isOpen(), "no X server");
        TestEnvironment::writeNote("X", "a", Qt::CTRL | Qt::ALT | Qt::Key_A, Greeting);
        TestEnvironment::writeNote("X", "k", Qt::CTRL | Qt::ALT | Qt::Key_K, "locks");
        TestEnvironment::writeNote("X", "v", (Qt::CTRL | Qt::Key_V).toCombined(), "paste key");
        TestEnvironment::writeNote("X", "g", Qt::CTRL | Qt::ALT | Qt::Key_G, "taken");
        TestEnvironment::writeNote("X", "f9", Qt::CTRL | Qt::SHIFT | Qt::Key_F9, "moved key");
        // No window manager: the field takes the X input focus itself.
        m_field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_field));
        m_field.activateWindow();
        QTRY_VERIFY(m_field.hasFocus());
    }

    void pastes_data()
    {
        QTest::addColumn<Situation>("situation");
        QTest::addColumn<QList<unsigned long>>("modifiers");
        QTest::addColumn<uint>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << Situation::Plain << CtrlAlt << uint(XK_a) << Greeting;
        QTest::newRow("NumLock") << Situation::NumLock << CtrlAlt << uint(XK_k) << "locks";
        QTest::newRow("CapsLock") << Situation::CapsLock << CtrlAlt << uint(XK_k) << "locks";
        QTest::newRow("Ctrl+V as a hot key")
            << Situation::PasteKey << QList<unsigned long>{XK_Control_L} << uint(XK_v) << "paste key";
        QTest::newRow("held key") << Situation::Held << CtrlAlt << uint(XK_k) << "locks";
        QTest::newRow("held key, detectable repeat")
            << Situation::HeldDetectable << CtrlAlt << uint(XK_k) << "locks";
        QTest::newRow("layout moves the hot key")
            << Situation::KeyMoved << QList<unsigned long>{XK_Control_L, XK_Shift_L} << uint(XK_F9)
            << "moved key";
        QTest::newRow("layout moves V") << Situation::VMoved << CtrlAlt << uint(XK_a) << Greeting;
        QTest::newRow("another program holds one key")
            << Situation::ForeignGrab << CtrlAlt << uint(XK_a) << Greeting;
    }
    void pastes()
    {
        QFETCH(Situation, situation);
        QFETCH(QList<unsigned long>, modifiers);
        QFETCH(uint, key);
        QFETCH(QString, text);
        m_field.clear();
        unsigned keycode = m_keyboard.keycode(key);
        XClient other; // holds a grab of its own
        QList<std::function<void()>> undo;
        const auto restore = qScopeGuard([&undo] {
            for (auto it = undo.crbegin(); it != undo.crend(); ++it)
                (*it)();
        });
        const auto moveKey = [&](unsigned long keysym, unsigned long replacement) {
            const unsigned old = m_keyboard.keycode(keysym);
            const unsigned spare = m_keyboard.spareKeycode();
            const QList<unsigned long> oldSyms = m_keyboard.keysyms(old);
            m_keyboard.setKeysyms(spare, oldSyms);
            m_keyboard.setKeysyms(old, {replacement});
            undo << [this, old, spare, oldSyms] {
                m_keyboard.setKeysyms(spare, {});
                m_keyboard.setKeysyms(old, oldSyms);
            };
            return spare;
        };
        const auto lock = [&](unsigned long keysym) {
            const unsigned mask = m_keyboard.modifierMask(keysym);
            QVERIFY(mask != 0);
            m_keyboard.press({}, m_keyboard.keycode(keysym));
            QTRY_VERIFY(m_keyboard.state() & mask);
            undo << [this, keysym] { m_keyboard.press({}, m_keyboard.keycode(keysym)); };
        };

        const unsigned g = m_keyboard.keycode(XK_g);
        const unsigned ctrlAlt = ControlMask | m_keyboard.modifierMask(XK_Alt_L);
        if (situation == Situation::ForeignGrab) {
            QVERIFY(other.grab(g, ctrlAlt));
            undo << [&other, g, ctrlAlt] { other.ungrab(g, ctrlAlt); };
        }
        HotKeyController keys(m_store);
        keys.activate("X");
        QCOMPARE(keys.unavailable().keys(),
                 situation == Situation::ForeignGrab
                     ? QList<int>{(Qt::CTRL | Qt::ALT | Qt::Key_G).toCombined()}
                     : QList<int>());

        Display *display = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
        Bool supported = False;
        switch (situation) {
        case Situation::NumLock:
            lock(XK_Num_Lock);
            break;
        case Situation::CapsLock:
            lock(XK_Caps_Lock);
            break;
        case Situation::HeldDetectable:
            // How repeats reach a client is its own choice, made on Qt's connection.
            XkbSetDetectableAutoRepeat(display, True, &supported);
            undo << [display, &supported] { XkbSetDetectableAutoRepeat(display, False, &supported); };
            Q_FALLTHROUGH();
        case Situation::Held: {
            const QList<unsigned> old = m_keyboard.setAutoRepeat(100, 25);
            undo << [this, old] { m_keyboard.setAutoRepeat(old[0], old[1]); };
            break;
        }
        case Situation::KeyMoved:
            keycode = moveKey(XK_F9, XK_F33);
            break;
        case Situation::VMoved:
            moveKey(XK_v, XK_F34);
            break;
        default:
            break;
        }
        // A mapping change reaches the program through its event loop.
        QTest::qWait(200);

        QElapsedTimer clock;
        clock.start();
        if (situation == Situation::Held || situation == Situation::HeldDetectable) {
            // A user holding the hot key well past the repeat delay, letting go before the paste.
            m_keyboard.hold(modifiers + QList<unsigned long>{key});
            QTest::qWait(400);
            m_keyboard.release(modifiers + QList<unsigned long>{key});
        } else {
            if (situation == Situation::ForeignGrab)
                m_keyboard.press(CtrlAlt, g); // the other program's key: no paste
            m_keyboard.press(modifiers, keycode);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_field.toPlainText(), text, 5000);
        QVERIFY(clock.elapsed() >= HotKeyController::PasteDelayMs);
        // One press, one paste: a repeat, or the program's own paste caught by its own Ctrl+V
        // grab, would paste again a second and a half later.
        QTest::qWait(2500);
        QCOMPARE(m_field.toPlainText(), text);
    }

    void masterChosenInTrayPastes()
    {
        QVERIFY(m_trayHost.start());
        m_field.clear();
        MainWindow window;
        window.close();
        auto *tray = window.findChild<QSystemTrayIcon *>();
        const QImage plain = tray->icon().pixmap(32).toImage();
        tray->contextMenu()->actions().first()->trigger(); // "X"
        QVERIFY(tray->icon().pixmap(32).toImage() != plain); // the mark of live hot keys
        m_keyboard.press(CtrlAlt, m_keyboard.keycode(XK_a));
        QTRY_COMPARE_WITH_TIMEOUT(m_field.toPlainText(), Greeting, 5000);
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
