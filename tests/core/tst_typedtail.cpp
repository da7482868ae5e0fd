// Which abbreviation a run of keys completes, and what the kept tail of typing forgets; without
// a window.
#include "core/deniedprograms.h"
#include "core/typedtail.h"

#include <QtTest>

class TestTypedTail final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keysFireAbbreviations_data()
    {
        QTest::addColumn<QStringList>("abbreviations");
        // \b BackSpace, \n a break (Return, a click, a chord...), \x01 a key that types nothing.
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("fired"); // in the order they fired
        const QStringList sig{":sig", "sig", "addr", "ä€😀"};
        QTest::newRow("after a space") << sig << "hello :sig " << QStringList{":sig"};
        QTest::newRow("at the start") << sig << ":sig" << QStringList{":sig"};
        QTest::newRow("longest of two") << sig << "x sig :sig" << QStringList{"sig", ":sig"};
        QTest::newRow("inside a word") << sig << "desig xaddr" << QStringList();
        QTest::newRow("after a letter, the shorter one") << sig << "a:sig" << QStringList{"sig"};
        QTest::newRow("digit before") << sig << "2addr" << QStringList();
        QTest::newRow("letter case counts") << sig << "ADDR Addr" << QStringList();
        QTest::newRow("once, not again on the next key") << sig << "sigsig" << QStringList{"sig"};
        QTest::newRow("after a break") << sig << "word\naddr" << QStringList{"addr"};
        QTest::newRow("typed over after BackSpace") << sig << "sug\b\big" << QStringList{"sig"};
        QTest::newRow("erased past what was seen")
            << sig << "x\b\baddr" << QStringList(); // a letter may stand before it
        QTest::newRow("keys that type nothing") << sig
                                                << "a\x01"
                                                   "d\x01"
                                                   "dr"
                                                << QStringList{"addr"};
        QTest::newRow("beyond the BMP") << sig << "(ä€😀" << QStringList{"ä€😀"};
        QTest::newRow("long word then abbreviation")
            << sig << QString(100, 'w') + " addr" << QStringList{"addr"};
        // The tail keeps the longest one and the character before it: no more is known.
        QTest::newRow("word longer than the tail") << QStringList{"ab"} << "xxxab" << QStringList();
        QTest::newRow("none to find") << QStringList() << "sig" << QStringList();
        QTest::newRow("the longest possible")
            << QStringList{QString(32, 'z')} << "q " + QString(32, 'z')
            << QStringList{QString(32, 'z')};
    }
    void keysFireAbbreviations()
    {
        QFETCH(QStringList, abbreviations);
        QFETCH(QString, keys);
        TypedTail tail;
        tail.setAbbreviations(abbreviations);
        QStringList fired;
        for (const uint c : keys.toUcs4()) {
            TypedKey key{TypedKey::Kind::Character, c};
            if (c == '\b')
                key = {TypedKey::Kind::BackSpace, 0};
            else if (c == '\n')
                key = {TypedKey::Kind::Break, 0};
            else if (c == 1)
                key = {TypedKey::Kind::Ignored, 0};
            const int found = tail.key(key);
            if (found >= 0)
                fired << abbreviations.at(found);
            QVERIFY(tail.size() <= 33 && tail.size() <= abbreviations.join("").size() + 1);
        }
        QTEST(fired, "fired");
    }

    void deniedPrograms_data()
    {
        QTest::addColumn<QStringList>("windowClass");
        QTest::addColumn<bool>("denied");
        QTest::newRow("password manager") << QStringList{"keepassxc", "KeePassXC"} << true;
        QTest::newRow("prompt, class only") << QStringList{"x", "Pinentry"} << true;
        QTest::newRow("user's entry, other case") << QStringList{"vault", "MyVault"} << true;
        QTest::newRow("editor") << QStringList{"kate", "kate"} << false;
        QTest::newRow("unknown window") << QStringList() << true;
    }
    void deniedPrograms()
    {
        QFETCH(QStringList, windowClass);
        QTEST(DeniedPrograms({" myvault "}).denies(windowClass), "denied");
    }
};

QTEST_GUILESS_MAIN(TestTypedTail)
#include "tst_typedtail.moc"
