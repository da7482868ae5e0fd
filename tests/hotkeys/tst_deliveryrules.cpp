// Which paste key a program gets, and which hot keys can never fire: rules without a window.
#include "hotkeys/consolekeys.h"
#include "hotkeys/pastekeytable.h"

#include <QTest>

class TestDeliveryRules final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pasteKey_data();
    void pasteKey();
    void consoleKeys_data();
    void consoleKeys();
};

void TestDeliveryRules::pasteKey_data()
{
    QTest::addColumn<QString>("instance");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("userClass"); // one user entry, or none when empty
    QTest::addColumn<int>("userStroke");
    QTest::addColumn<int>("stroke");
    const int none = 0;
    QTest::newRow("VTE terminal") << "xfce4-terminal"
                                  << "Xfce4-terminal"
                                  << "" << none << PasteKeyTable::CtrlShiftV;
    QTest::newRow("server instance") << "gnome-terminal-server"
                                     << "Gnome-terminal"
                                     << "" << none << PasteKeyTable::CtrlShiftV;
    QTest::newRow("xterm") << "xterm"
                           << "XTerm"
                           << "" << none << PasteKeyTable::ShiftInsert;
    QTest::newRow("urxvt") << "urxvt"
                           << "URxvt"
                           << "" << none << PasteKeyTable::ShiftInsert;
    QTest::newRow("editor") << "gedit"
                            << "Gedit"
                            << "" << none << PasteKeyTable::CtrlV;
    QTest::newRow("no window") << ""
                               << ""
                               << "" << none << PasteKeyTable::CtrlV;
    QTest::newRow("user changes a built-in")
        << "xterm"
        << "XTerm"
        << "XTERM" << PasteKeyTable::CtrlShiftV << PasteKeyTable::CtrlShiftV;
    QTest::newRow("user class beats built-in instance")
        << "kitty"
        << "Special"
        << "special" << PasteKeyTable::CtrlV << PasteKeyTable::CtrlV;
    QTest::newRow("user adds one")
        << "myterm"
        << "MyTerm"
        << "myterm" << PasteKeyTable::ShiftInsert << PasteKeyTable::ShiftInsert;
    QTest::newRow("unknown stroke ignored") << "kitty"
                                            << "kitty"
                                            << "kitty" << 0x41 << PasteKeyTable::CtrlShiftV;
}

void TestDeliveryRules::pasteKey()
{
    QFETCH(QString, instance);
    QFETCH(QString, className);
    QFETCH(QString, userClass);
    QFETCH(int, userStroke);
    QFETCH(int, stroke);
    QHash<QString, int> user;
    if (!userClass.isEmpty())
        user.insert(userClass, userStroke);
    QCOMPARE(PasteKeyTable(user).strokeFor(instance, className), stroke);
}

void TestDeliveryRules::consoleKeys_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("console");
    QTest::newRow("Ctrl+Alt+F1") << (Qt::CTRL | Qt::ALT | Qt::Key_F1).toCombined() << true;
    QTest::newRow("Ctrl+Alt+Shift+F12")
        << (Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_F12).toCombined() << true;
    QTest::newRow("Ctrl+F5") << (Qt::CTRL | Qt::Key_F5).toCombined() << false;
    QTest::newRow("Alt+Shift+F5") << (Qt::ALT | Qt::SHIFT | Qt::Key_F5).toCombined() << false;
    QTest::newRow("Ctrl+Alt+F13") << (Qt::CTRL | Qt::ALT | Qt::Key_F13).toCombined() << false;
    QTest::newRow("Ctrl+Alt+A") << (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined() << false;
}

void TestDeliveryRules::consoleKeys()
{
    QFETCH(int, code);
    QFETCH(bool, console);
    QCOMPARE(ConsoleKeys::isConsoleSwitchKey(code), console);
}

QTEST_APPLESS_MAIN(TestDeliveryRules)
#include "tst_deliveryrules.moc"
