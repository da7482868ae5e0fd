// End to end on a headless KDE Wayland session (kdesession.sh brings it up): the program is a
// Wayland client without the focus, hot keys come through the desktop's global shortcuts
// portal, and the paste reaches a native Wayland window through its remote desktop portal.
#include "hotkeys/globalshortcut.h"
#include "hotkeys/hotkeyplatform.h"
#include "hotkeys/portal/portalrequest.h"
#include "hotkeys/portal/portalshortcutbackend.h"
#include "mainwindow/mainwindow.h"
#include "support/testenv.h"
#include "textfield.h"
#include "widgets/checktreewidget.h"
#include "xclient.h"

#include <memory>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>

#include <X11/keysym.h>

namespace {

const QList<unsigned long> CtrlAlt{XK_Control_L, XK_Alt_L};
const int CtrlAltCode = Qt::CTRL | Qt::ALT;
const QString Greeting = QStringLiteral("Grüße aus Köln — €5,\nzweite Zeile ✓");
const QString BetaText = QStringLiteral("from Beta");

// What KDE's shortcut daemon bound for one of the program's combinations (0: nothing).
int boundKey(int code)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
        QStringLiteral("org.kde.KGlobalAccel"), QStringLiteral("shortcut"));
    call.setArguments({QStringList{PortalShortcutBackend::sessionToken(), QString::number(code),
                                   QString(), QString()}});
    const QList<QVariant> reply = QDBusConnection::sessionBus().call(call).arguments();
    const QList<int> keys = reply.isEmpty() ? QList<int>() : qdbus_cast<QList<int>>(reply.first());
    return keys.value(0);
}

} // namespace

class TestWayland final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void pastesIntoAWaylandWindow();
    void switchingMovesTheKeys();
    void combinationOfAnotherProgramIsNotRegistered();

private:
    void tick(const QString &master);
    GlobalShortcut *live(int code) const;

    TestEnvironment m_env;
    XClient m_keyboard; // on the X server that hosts the compositor: the user's keyboard
    TextField m_field;
    std::unique_ptr<MainWindow> m_window;
    CheckTreeWidget *m_tree = nullptr;
};

void TestWayland::initTestCase()
{
    QVERIFY(HotKeyPlatform::isWayland());
    QVERIFY2(m_keyboard.isOpen(), "no X server under the compositor");
    QVERIFY2(HotKeyPlatform::describe().contains(QStringLiteral("portal")),
             qPrintable(HotKeyPlatform::describe()));
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("greeting"),
                               CtrlAltCode | Qt::Key_A, Greeting);
    TestEnvironment::writeNote(QStringLiteral("Beta"), QStringLiteral("beta"),
                               CtrlAltCode | Qt::Key_B, BetaText);
    TestEnvironment::writeNote(QStringLiteral("Gamma"), QStringLiteral("taken"),
                               CtrlAltCode | Qt::Key_Y, QStringLiteral("never"));
    TestEnvironment::writeNote(QStringLiteral("Gamma"), QStringLiteral("free"),
                               CtrlAltCode | Qt::Key_G, QStringLiteral("free key"));
    m_window = std::make_unique<MainWindow>();
    m_tree = m_window->findChild<CheckTreeWidget *>(QStringLiteral("treeMacros"));
    QVERIFY(m_tree);
    QVERIFY(m_field.start());
    QTRY_VERIFY_WITH_TIMEOUT(m_field.isReady(), 10000);
}

void TestWayland::init()
{
    m_field.clear();
    QTRY_COMPARE(m_field.text(), QString());
}

void TestWayland::tick(const QString &master)
{
    const QList<QTreeWidgetItem *> found = m_tree->findItems(master, Qt::MatchFixedString, 0);
    QCOMPARE(found.size(), 1);
    found.first()->setCheckState(0, Qt::Checked);
}

GlobalShortcut *TestWayland::live(int code) const
{
    const QList<GlobalShortcut *> all = m_tree->findChildren<GlobalShortcut *>();
    for (GlobalShortcut *shortcut : all) {
        if (shortcut->shortcut() == QKeySequence(code))
            return shortcut;
    }
    return nullptr;
}

void TestWayland::pastesIntoAWaylandWindow()
{
    tick(QStringLiteral("Alpha"));
    QTRY_COMPARE(boundKey(CtrlAltCode | Qt::Key_A), CtrlAltCode | Qt::Key_A);
    m_keyboard.press(CtrlAlt, XK_a);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), Greeting, 5000);
    m_field.askClipboard();
    QTRY_COMPARE(m_field.clipboard(), Greeting);
}

void TestWayland::switchingMovesTheKeys()
{
    tick(QStringLiteral("Alpha"));
    tick(QStringLiteral("Beta"));
    QTRY_COMPARE(boundKey(CtrlAltCode | Qt::Key_B), CtrlAltCode | Qt::Key_B);
    QTRY_COMPARE(boundKey(CtrlAltCode | Qt::Key_A), 0);
    // Had Alpha's key still fired, its text would arrive first.
    m_keyboard.press(CtrlAlt, XK_a);
    m_keyboard.press(CtrlAlt, XK_b);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), BetaText, 5000);
    QTest::qWait(1500);
    QCOMPARE(m_field.text(), BetaText);
}

void TestWayland::combinationOfAnotherProgramIsNotRegistered()
{
    // Another program's portal session holds Ctrl+Alt+Y first.
    Portal::registerTypes();
    const Portal::ShortcutList theirs{
        {QStringLiteral("theirs"), {{QStringLiteral("description"), QStringLiteral("theirs")},
                                    {QStringLiteral("preferred_trigger"),
                                     QStringLiteral("CTRL+ALT+y")}}}};
    bool created = false;
    QObject context;
    PortalRequest::call(Portal::GlobalShortcuts, QStringLiteral("CreateSession"),
                        {QVariantMap{{QStringLiteral("session_handle_token"),
                                      QStringLiteral("othertool")},
                                     {QStringLiteral("shortcuts"), QVariant::fromValue(theirs)}}},
                        &context, [&created](uint response, const QVariantMap &) {
                            created = response == 0;
                        });
    QTRY_VERIFY(created);

    tick(QStringLiteral("Gamma"));
    QVERIFY(live(CtrlAltCode | Qt::Key_Y) && live(CtrlAltCode | Qt::Key_G));
    QTRY_VERIFY(!live(CtrlAltCode | Qt::Key_Y)->isRegistered());
    QVERIFY(live(CtrlAltCode | Qt::Key_G)->isRegistered());
    m_keyboard.press(CtrlAlt, XK_g);
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), QStringLiteral("free key"), 5000);
}

QTEST_MAIN(TestWayland)
#include "tst_wayland.moc"
