#include "support/testenv.h"
#include "widgets/checktreewidget.h"

#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

class TestCheckTreeWidget final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void codeReportsRealChangesOnly_data();
    void codeReportsRealChangesOnly();
    void mouseClickOnIndicatorReports();
    void stateSetBeforeJoiningReportsNothing();
    void plainItemsReportNothing();

private:
    TestEnvironment m_env;
    CheckTreeWidget *m_tree = nullptr;
};

void TestCheckTreeWidget::init()
{
    m_tree = new CheckTreeWidget;
    m_tree->setColumnCount(2);
}

void TestCheckTreeWidget::cleanup()
{
    delete m_tree;
    m_tree = nullptr;
}

void TestCheckTreeWidget::codeReportsRealChangesOnly_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("column 0") << 0;
    QTest::newRow("column 1") << 1;
}

void TestCheckTreeWidget::codeReportsRealChangesOnly()
{
    QFETCH(int, column);
    auto *item = new CheckTreeWidgetItem(m_tree, QStringList{"a", "b"});
    auto *child = new CheckTreeWidgetItem(item, QStringList{"c", "d"});
    QSignalSpy spy(m_tree, &CheckTreeWidget::itemCheckStateChanged);

    item->setCheckState(column, Qt::Unchecked); // from no state to a state is a change
    QCOMPARE(spy.count(), 1);
    item->setCheckState(column, Qt::Unchecked);
    QCOMPARE(spy.count(), 1);
    item->setCheckState(column, Qt::Checked);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.last().at(0).value<QTreeWidgetItem *>(), item);
    item->setCheckState(column, Qt::Checked);
    item->setData(column, Qt::CheckStateRole, 2); // the same state as a plain integer
    QCOMPARE(spy.count(), 2);
    item->setCheckState(column, Qt::PartiallyChecked);
    QCOMPARE(spy.count(), 3);
    // Other roles are no check-state change.
    item->setText(column, QStringLiteral("renamed"));
    item->setToolTip(column, QStringLiteral("tip"));
    item->setData(column, Qt::UserRole, 5);
    QCOMPARE(spy.count(), 3);

    child->setCheckState(column, Qt::Checked); // children report too, as themselves
    QCOMPARE(spy.count(), 4);
    QCOMPARE(spy.last().at(0).value<QTreeWidgetItem *>(), child);
}

void TestCheckTreeWidget::mouseClickOnIndicatorReports()
{
    auto *item = new CheckTreeWidgetItem(m_tree, QStringList{"a"});
    item->setCheckState(0, Qt::Unchecked);
    m_tree->resize(300, 200);
    m_tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tree));
    QSignalSpy spy(m_tree, &CheckTreeWidget::itemCheckStateChanged);

    QStyleOptionViewItem option;
    option.initFrom(m_tree->viewport());
    option.rect = m_tree->visualItemRect(item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = item->text(0);
    const QRect box =
        m_tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, m_tree);
    QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, {}, box.center());
    QCOMPARE(item->checkState(0), Qt::Checked);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.last().at(0).value<QTreeWidgetItem *>(), item);
}

void TestCheckTreeWidget::stateSetBeforeJoiningReportsNothing()
{
    QSignalSpy spy(m_tree, &CheckTreeWidget::itemCheckStateChanged);
    auto *item = new CheckTreeWidgetItem(QStringList{"a"});
    item->setCheckState(0, Qt::Checked);
    m_tree->addTopLevelItem(item);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(item->checkState(0), Qt::Checked);
    item->setCheckState(0, Qt::Unchecked); // once in the tree it reports
    QCOMPARE(spy.count(), 1);
}

void TestCheckTreeWidget::plainItemsReportNothing()
{
    QSignalSpy spy(m_tree, &CheckTreeWidget::itemCheckStateChanged);
    auto *item = new QTreeWidgetItem(m_tree, QStringList{"a"});
    item->setCheckState(0, Qt::Unchecked);
    item->setCheckState(0, Qt::Checked);
    QCOMPARE(spy.count(), 0);
    // A checkable item in a plain tree widget has nobody to report to, and does not crash.
    QTreeWidget plainTree;
    auto *orphan = new CheckTreeWidgetItem(&plainTree, QStringList{"b"});
    orphan->setCheckState(0, Qt::Checked);
    QCOMPARE(orphan->checkState(0), Qt::Checked);
}

QTEST_MAIN(TestCheckTreeWidget)
#include "tst_checktreewidget.moc"
