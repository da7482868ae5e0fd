// Which notes a query finds and in what order, without a window; and the memory of recent picks
// in the local preferences.
#include "support/testenv.h"

#include "core/notematcher.h"
#include "store/macrostore.h"
#include "store/recentnotes.h"

#include <QtTest>

class TestNoteMatcher final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;

    static QList<NoteMatcher::Entry> entries()
    {
        return {
            {"Letters", "Greeting", "Dear reader, kind regards", 0}, // 0
            {"Letters", "Regards", "Best wishes", 0},                // 1
            {"Work", "Café address", "Rue de l'Église 3", 0},        // 2
            {"Work", "signature", "Kind regards\nJohn", 0},          // 3
            {"Élan", "motto", "keep going", 0},                      // 4
            {"Misc", "preregistration", "form?", 0},                 // 5
            {"Reise", "東京 Büro", "Tōkyō office, floor 3", 0},      // 6
        };
    }

private Q_SLOTS:
    void order_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("recent");
        QTest::addColumn<QList<int>>("found");
        QTest::addColumn<QString>("live"); // the live master macro
        const QStringList none;
        QTest::newRow("name before text, case ignored")
            << "REGARDS" << none << QList<int>{1, 0, 3} << QString();
        QTest::newRow("accent in the name") << "cafe" << none << QList<int>{2} << QString();
        QTest::newRow("accent in the query") << "Égl" << none << QList<int>{2} << QString();
        QTest::newRow("master macro name") << "elan" << none << QList<int>{4} << QString();
        QTest::newRow("start before inside") << "reg" << none << QList<int>{1, 5, 0, 3}
                                             << QString(); // name start, name inside, text starts
        QTest::newRow("every word must be there")
            << "kind regards" << none << QList<int>{0, 3} << QString();
        QTest::newRow("words across fields")
            << "  work   SIG " << none << QList<int>{3} << QString();
        QTest::newRow("nothing found") << "regards elan" << none << QList<int>() << QString();
        QTest::newRow("recent one first among equals")
            << "regards" << QStringList{"Work/signature"} << QList<int>{1, 3, 0} << QString();
        QTest::newRow("empty query: store order")
            << "" << none << QList<int>{0, 1, 2, 3, 4, 5, 6} << QString();
        QTest::newRow("empty query: recent first")
            << " " << QStringList{"Work/signature", "Letters/Regards", "Gone/note"}
            << QList<int>{3, 1, 0, 2, 4, 5, 6} << QString();
        QTest::newRow("empty query: recent, then the live master macro's")
            << "" << QStringList{"Letters/Regards"} << QList<int>{1, 2, 3, 0, 4, 5, 6} << "Work";
        QTest::newRow("plain word in a name with other letters")
            << "buro" << none << QList<int>{6} << QString();
        QTest::newRow("word of other letters") << "東京" << none << QList<int>{6} << QString();
        QTest::newRow("accents folded away in the text")
            << "tokyo FLOOR" << none << QList<int>{6} << QString();
        QTest::newRow("word of other letters never in plain text")
            << "ж" << none << QList<int>{} << QString();
        QTest::newRow("live master macro's first among equals")
            << "regards" << none << QList<int>{1, 3, 0} << "Work";
    }
    void order()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, recent);
        QFETCH(QList<int>, found);
        QFETCH(QString, live);
        NoteMatcher matcher(entries());
        matcher.setRecent(recent);
        matcher.setLiveMaster(live);
        QCOMPARE(matcher.match(query), found);
        // Typed on from one letter less: the search among what that found finds the same.
        QCOMPARE(matcher.match(query, matcher.match(query.chopped(query.isEmpty() ? 0 : 1))),
                 found);
    }

    void recentPicksAreKeptApart()
    {
        TestEnvironment::clearStore();
        TestEnvironment::writeNote("M", "n", 0, "text");
        QVERIFY(RecentNotes::read().isEmpty());
        for (const char *key : {"M/a", "M/b", "M/a", "M/a"})
            QVERIFY(RecentNotes::use(key));
        QCOMPARE(RecentNotes::read(), QStringList({"M/a", "M/b"}));
        // 101 picks keep the last 100, newest first.
        QStringList picked;
        for (int i = 0; i <= RecentNotes::Limit; ++i) {
            picked.prepend(QStringLiteral("M/%1").arg(i));
            QVERIFY(RecentNotes::use(picked.first()));
        }
        QCOMPARE(RecentNotes::read(), picked.mid(0, 100));
        // Nothing of it joins the master macros.
        QCOMPARE(MacroStore().masters(), QStringList{"M"});
    }
};

QTEST_MAIN(TestNoteMatcher)
#include "tst_notematcher.moc"
