#pragma once

#include <deque>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class CheckTreeWidget;
class MacroStore;
class MacroTreeItems;
class QTreeWidgetItem;

// The note rows of the main window's tree not made yet. Thousands of rows cost far more to make,
// lay out and free than the store costs to read, and a screenful is all that shows at first. So
// the master macros join the tree at once with the first screenful of notes (all of a small
// tree), and the rest are read and made a master macro at a time while the program is idle, in
// slices of a few milliseconds. A master macro waits collapsed below the first screenful and
// joins expanded once all its rows are made, as if it had been so from the start. Whatever needs
// the rows earlier makes them at once: a command (fill(), fillAll()), and any key, click or wheel
// turn in the tree (all of them). The columns are fitted, to every row there is or will be, when
// the tree first shows.
class PendingRows final : public QObject
{
    Q_OBJECT

public:
    // `items` makes the rows; `store` must outlive this.
    PendingRows(CheckTreeWidget *tree, const MacroTreeItems &items, const MacroStore &store);
    ~PendingRows() override;

    // Puts `masters` (rows not yet in the tree, in store order) at the end of the tree.
    void start(const QList<QTreeWidgetItem *> &masters);
    // Makes every row of `master` that is still missing.
    void fill(QTreeWidgetItem *master);
    void fillAll();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Master
    {
        QTreeWidgetItem *item = nullptr;
        bool named = false;            // `notes` read
        QStringList notes;             // in store order
        QList<int> codes;              // of the first notes, read a part at a time
        qsizetype made = 0;            // rows made, in the tree or in `rows`
        QList<QTreeWidgetItem *> rows; // made, not yet in the tree
    };

    qsizetype firstRows() const;
    void make(Master &master, qsizetype count);
    void readCodes(Master &master, qsizetype end);
    void attach(Master &master);
    void join(Master &master);
    void readAll();
    void fillSome();
    void forget(int first, int last);
    void fitColumns();
    const QString &codeText(int code);
    void watch(bool on);

    CheckTreeWidget *m_tree;
    const MacroTreeItems &m_items;
    const MacroStore &m_store;
    std::deque<Master> m_masters; // in tree order, each with rows still missing
    QTimer m_idle;
    bool m_fitted = false;
    QHash<int, QString> m_codeTexts;
};
