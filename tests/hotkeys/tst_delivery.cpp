// End to end on a real X server: a note's hot key pressed from outside the program pastes the
// note's text into another application's text field.
#include "hotkeys/globalshortcut.h"
#include "mainwindow/mainwindow.h"
#include "support/testenv.h"
#include "textfield.h"
#include "widgets/checktreewidget.h"
#include "xclient.h"

#include <memory>
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTest>

#include <X11/keysym.h>
#include <X11/X.h>
#include <X11/XKBlib.h>
#include <xcb/xcb.h>

namespace {

const QList<unsigned long> CtrlAlt{XK_Control_L, XK_Alt_L};
const int CtrlAltCode = Qt::CTRL | Qt::ALT;

const QString Greeting = QStringLiteral("Dear reader,\nthis arrives whole.\n\tIndented line");
const QString Regards = QStringLiteral("Regards");
const QString FirstTwin = QStringLiteral("first twin");
const QString BetaText = QStringLiteral("from Beta");
const QString GammaText = QStringLiteral("pasted by its own key");
const QString DeltaText = QStringLiteral("shares the key of V");

// Counts the presses of one key that reach the program on the root window, repeats included.
class PressCounter final : public QAbstractNativeEventFilter
{
public:
    explicit PressCounter(unsigned keycode) : m_keycode(keycode)
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~PressCounter() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    int count() const { return m_count; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if (eventType == "xcb_generic_event_t" && (event->response_type & 0x7f) == XCB_KEY_PRESS &&
            reinterpret_cast<const xcb_key_press_event_t *>(event)->detail == m_keycode)
            ++m_count;
        return false;
    }

private:
    unsigned m_keycode;
    int m_count = 0;
};

} // namespace

class TestDelivery final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void deliversTextAfterASecond();
    void uncheckedMasterMacroDoesNotFire();
    void tickingAnotherSwapsTheKeys();
    void firesWithNumLock();
    void foreignGrabLeavesOtherKeysWorking();
    void sameCodePastesOnceFirstInStoreOrder();
    void quickPressesPasteInPressOrder();
    void pasteKeyAsHotKeyPastesOnce_data();
    void pasteKeyAsHotKeyPastesOnce();
    void heldHotKeyDeliversOnce_data();
    void heldHotKeyDeliversOnce();

private:
    void tick(const QString &master);
    QList<GlobalShortcut *> liveShortcuts() const;

    TestEnvironment m_env;
    XClient m_keyboard;
    TextField m_field;
    std::unique_ptr<MainWindow> m_window;
    CheckTreeWidget *m_tree = nullptr;
};

void TestDelivery::initTestCase()
{
    QVERIFY2(m_keyboard.isOpen(), "no X server");
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("greeting"),
                               CtrlAltCode | Qt::Key_A, Greeting);
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("sign"),
                               CtrlAltCode | Qt::Key_S, Regards);
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("twin 1"),
                               CtrlAltCode | Qt::Key_D, FirstTwin);
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("twin 2"),
                               CtrlAltCode | Qt::Key_D, QStringLiteral("second twin"));
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("unbound"), 0,
                               QStringLiteral("never"));
    TestEnvironment::writeNote(QStringLiteral("Beta"), QStringLiteral("beta"),
                               CtrlAltCode | Qt::Key_B, BetaText);
    TestEnvironment::writeNote(QStringLiteral("Gamma"), QStringLiteral("paste key"),
                               (Qt::CTRL | Qt::Key_V).toCombined(), GammaText);
    TestEnvironment::writeNote(QStringLiteral("Delta"), QStringLiteral("on the key of V"),
                               (Qt::CTRL | Qt::Key_Udiaeresis).toCombined(), DeltaText);

    m_window = std::make_unique<MainWindow>();
    m_tree = m_window->findChild<CheckTreeWidget *>(QStringLiteral("treeMacros"));
    QVERIFY(m_tree);
    QCOMPARE(m_tree->topLevelItemCount(), 4);

    QVERIFY(m_field.start());
    QTRY_VERIFY_WITH_TIMEOUT(m_field.isReady(), 10000);
}

void TestDelivery::init()
{
    m_field.clear();
    QTRY_COMPARE(m_field.text(), QString());
}

void TestDelivery::cleanup()
{
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        m_tree->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    QVERIFY(liveShortcuts().isEmpty());
    if (m_keyboard.state() & m_keyboard.modifierMask(XK_Num_Lock)) {
        m_keyboard.tap(XK_Num_Lock);
        QTRY_VERIFY(!(m_keyboard.state() & m_keyboard.modifierMask(XK_Num_Lock)));
    }
}

void TestDelivery::tick(const QString &master)
{
    const QList<QTreeWidgetItem *> found = m_tree->findItems(master, Qt::MatchFixedString, 0);
    QCOMPARE(found.size(), 1);
    found.first()->setCheckState(0, Qt::Checked);
}

QList<GlobalShortcut *> TestDelivery::liveShortcuts() const
{
    return m_tree->findChildren<GlobalShortcut *>();
}

void TestDelivery::deliversTextAfterASecond()
{
    tick(QStringLiteral("Alpha"));
    QElapsedTimer clock;
    clock.start();
    m_keyboard.press(CtrlAlt, XK_a);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), Greeting, 5000);
    QVERIFY2(clock.elapsed() >= 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));

    // The clipboard keeps the text, as other applications see it.
    m_field.askClipboard();
    QTRY_COMPARE(m_field.clipboard(), Greeting);
}

void TestDelivery::uncheckedMasterMacroDoesNotFire()
{
    tick(QStringLiteral("Alpha"));
    // Beta's key goes first; had it fired, its paste would arrive before Alpha's.
    m_keyboard.press(CtrlAlt, XK_b);
    m_keyboard.press(CtrlAlt, XK_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), Regards, 5000);
}

void TestDelivery::tickingAnotherSwapsTheKeys()
{
    tick(QStringLiteral("Alpha"));
    tick(QStringLiteral("Beta"));
    QCOMPARE(m_tree->topLevelItem(0)->checkState(0), Qt::Unchecked);
    QCOMPARE(m_tree->topLevelItem(1)->checkState(0), Qt::Checked);

    m_keyboard.press(CtrlAlt, XK_s);
    m_keyboard.press(CtrlAlt, XK_a);
    m_keyboard.press(CtrlAlt, XK_b);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), BetaText, 5000);
}

void TestDelivery::firesWithNumLock()
{
    tick(QStringLiteral("Alpha"));
    const unsigned numLock = m_keyboard.modifierMask(XK_Num_Lock);
    QVERIFY(numLock != 0);
    m_keyboard.tap(XK_Num_Lock);
    QTRY_VERIFY(m_keyboard.state() & numLock);
    m_keyboard.press(CtrlAlt, XK_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), Regards, 5000);
}

void TestDelivery::foreignGrabLeavesOtherKeysWorking()
{
    XClient other;
    const unsigned s = m_keyboard.keycode(XK_s);
    const unsigned altMask = m_keyboard.modifierMask(XK_Alt_L);
    QVERIFY(other.grab(s, ControlMask | altMask));

    tick(QStringLiteral("Alpha"));
    int registered = 0;
    for (const GlobalShortcut *shortcut : liveShortcuts()) {
        const bool taken = shortcut->shortcut() == QKeySequence(CtrlAltCode | Qt::Key_S);
        const bool unbound = shortcut->shortcut().isEmpty();
        QCOMPARE(shortcut->isRegistered(), !taken && !unbound);
        registered += shortcut->isRegistered() ? 1 : 0;
    }
    QCOMPARE(registered, 3); // greeting and the two twins

    m_keyboard.press(CtrlAlt, XK_s);
    m_keyboard.press(CtrlAlt, XK_a);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), Greeting, 5000);
}

void TestDelivery::sameCodePastesOnceFirstInStoreOrder()
{
    tick(QStringLiteral("Alpha"));
    // A second paste of the twin would land before the signature.
    m_keyboard.press(CtrlAlt, XK_d);
    m_keyboard.press(CtrlAlt, XK_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), FirstTwin + Regards, 6000);
}

void TestDelivery::quickPressesPasteInPressOrder()
{
    tick(QStringLiteral("Alpha"));
    QElapsedTimer clock;
    clock.start();
    m_keyboard.press(CtrlAlt, XK_a);
    m_keyboard.press(CtrlAlt, XK_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), Greeting, 5000);
    // The second press waits its own full second after its own clipboard write.
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), Greeting + Regards, 5000);
    QVERIFY2(clock.elapsed() >= 2000, qPrintable(QString::number(clock.elapsed())));
    m_field.askClipboard();
    QTRY_COMPARE(m_field.clipboard(), Regards);
}

void TestDelivery::pasteKeyAsHotKeyPastesOnce_data()
{
    QTest::addColumn<QString>("master");
    QTest::addColumn<QString>("text");
    QTest::addColumn<unsigned long>("sharedKeysym"); // put on the key of V, or 0
    QTest::newRow("Ctrl+V") << QStringLiteral("Gamma") << GammaText << 0ul;
    // A layout with another grabbable symbol on the key of V: Ctrl+Ü is then the paste too.
    QTest::newRow("Ctrl+Udiaeresis on the key of V")
        << QStringLiteral("Delta") << DeltaText << static_cast<unsigned long>(XK_Udiaeresis);
}

void TestDelivery::pasteKeyAsHotKeyPastesOnce()
{
    QFETCH(QString, master);
    QFETCH(QString, text);
    QFETCH(unsigned long, sharedKeysym);
    const unsigned v = m_keyboard.keycode(XK_v);
    QVERIFY(v != 0);
    const QList<unsigned long> oldSyms = m_keyboard.keysyms(v);
    if (sharedKeysym != 0)
        m_keyboard.setKeysyms(v, {XK_v, XK_V, sharedKeysym, sharedKeysym});
    const auto restore = qScopeGuard([&] {
        if (sharedKeysym != 0)
            m_keyboard.setKeysyms(v, oldSyms);
    });

    tick(master);
    const QList<GlobalShortcut *> live = liveShortcuts();
    QCOMPARE(live.size(), 1);
    QVERIFY(live.first()->isRegistered());

    m_keyboard.pressKeycode({XK_Control_L}, v);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), text, 5000);
    // Had the program caught its own paste, it would put the note back on the clipboard and
    // paste it again every second or so.
    QGuiApplication::clipboard()->setText(QStringLiteral("elsewhere"));
    QTest::qWait(3000);
    QCOMPARE(m_field.text(), text);
    m_field.askClipboard();
    QTRY_COMPARE(m_field.clipboard(), QStringLiteral("elsewhere"));

    // The grab is back after the paste: the key delivers the note, not the clipboard's text.
    QVERIFY(live.first()->isRegistered());
    m_keyboard.pressKeycode({XK_Control_L}, v);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), text + text, 5000);
}

void TestDelivery::heldHotKeyDeliversOnce_data()
{
    QTest::addColumn<bool>("detectable");
    QTest::newRow("release before each repeat") << false;
    QTest::newRow("repeats without release") << true;
}

void TestDelivery::heldHotKeyDeliversOnce()
{
    QFETCH(bool, detectable);
    // How repeats reach a client is its own choice, made on Qt's connection.
    Display *display = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
    QVERIFY(display);
    Bool supported = False;
    const Bool wasDetectable = XkbGetDetectableAutoRepeat(display, &supported);
    XkbSetDetectableAutoRepeat(display, detectable, &supported);
    QVERIFY(supported);
    unsigned delay = 0;
    unsigned interval = 0;
    m_keyboard.autoRepeat(&delay, &interval);
    m_keyboard.setAutoRepeat(100, 25);
    const auto restore = qScopeGuard([&] {
        XkbSetDetectableAutoRepeat(display, wasDetectable, &supported);
        m_keyboard.setAutoRepeat(delay, interval);
    });

    tick(QStringLiteral("Alpha"));
    PressCounter presses(m_keyboard.keycode(XK_s));
    const QList<unsigned long> keys{XK_Control_L, XK_Alt_L, XK_s};
    m_keyboard.hold(keys);
    // A user holding the hot key, and letting go well before the paste.
    QTest::qWait(400);
    m_keyboard.release(keys);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), Regards, 5000);
    QVERIFY2(presses.count() >= 5, qPrintable(QString::number(presses.count())));
    // Each repeat taken for a press would paste once more, one every second and a half.
    QTest::qWait(2500);
    QCOMPARE(m_field.text(), Regards);
}

QTEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
