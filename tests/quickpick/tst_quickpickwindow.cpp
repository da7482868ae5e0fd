// In the main window, offscreen: the Ctrl+F filter of the tree, and the hot key of "Pick a note"
// in the Preferences.
#include "support/modalanswerer.h"
#include "support/windowfixture.h"

#include "store/preferences.h"

class TestQuickPickWindow final : public WindowFixture
{
    Q_OBJECT

    QLineEdit *field() const { return m_window->findChild<QLineEdit *>("treeFilter"); }
    // The rows that show, as "master" or "master/note", and "+" before an expanded master.
    QStringList shown() const
    {
        QStringList rows; // a hidden master macro's notes are hidden too
        for (QTreeWidgetItemIterator it(m_tree, QTreeWidgetItemIterator::NotHidden); *it; ++it)
            rows << ((*it)->parent() ? (*it)->parent()->text(0) + '/' + (*it)->text(0)
                                     : ((*it)->isExpanded() ? "+" : "") + (*it)->text(0));
        return rows;
    }

private Q_SLOTS:
    void filterKeepsWhatMatches_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("note name") << "HEL" << QStringList{"+Work", "Work/hello"};
        QTest::newRow("text") << "bye" << QStringList{"+Work", "Work/bye"};
        QTest::newRow("master macro name") << "home" << QStringList{"+Home", "Home/h"};
        QTest::newRow("a row not made yet") << "Needle 999" << QStringList{"+Big", "Big/n999"};
        QTest::newRow("nothing") << "nowhere" << QStringList();
    }
    void filterKeepsWhatMatches()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, rows);
        {
            QSettings store;
            for (int i = 0; i < 1000; ++i)
                store.setValue(QString("MasterMacros/Big/Macros/n%1/text").arg(i),
                               QString("needle %1").arg(i));
        }
        remake();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        // Home: the user's choice, made once its row shows (rows are made while idle).
        QTRY_COMPARE(m_tree->topLevelItem(1)->childCount(), 1);
        m_tree->topLevelItem(1)->setExpanded(false);
        QVERIFY(!field()->isVisible());

        QTest::keyClick(m_window, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(field()->isVisible() && field()->hasFocus());
        QTest::keyClicks(field(), query);
        QCOMPARE(shown(), rows);
        // Ticking works on what shows.
        for (QTreeWidgetItem *master : m_tree->findItems(rows.value(0).mid(1), Qt::MatchExactly))
            master->setCheckState(0, Qt::Checked);
        QCOMPARE(m_app->live().name(), rows.value(0).mid(1));
        QTest::keyClick(field(), Qt::Key_Escape);
        QVERIFY(!field()->isVisible() && field()->text().isEmpty());
        // Big's rows are all made now, and it is expanded as it is once they are.
        const QStringList after = shown();
        QCOMPARE(after.size(), 1 + 1000 + 5);
        QCOMPARE(after.first(), "+Big");
        QCOMPARE(after.mid(1001),
                 QStringList({"Home", "Home/h", "+Work", "Work/bye", "Work/hello"}));
    }

    void quickPickKeyIsAPreference()
    {
        const int key = (Qt::CTRL | Qt::ALT | Qt::Key_Q).toCombined();
        QCOMPARE(m_app->keys().quickPickCode(), 0); // off by default
        for (const int code : {key, 0}) {
            ModalAnswerer answerer;
            answerer.expect([code](QWidget *dialog) {
                dialog->findChild<QKeySequenceEdit *>("quickPickShortcut")
                    ->setKeySequence(code ? QKeySequence(code) : QKeySequence());
                static_cast<QDialog *>(dialog)->accept();
            });
            trigger("Preferences…");
            QCOMPARE(m_app->keys().quickPickCode(), code);
            QCOMPARE(m_app->keys().quickPickRegistered(), code != 0);
            QCOMPARE(QSettings().contains("Preferences/quickPickShortcut"), code != 0);
        }
    }
};

QTEST_MAIN(TestQuickPickWindow)
#include "tst_quickpickwindow.moc"
