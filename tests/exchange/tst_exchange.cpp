// Master macro files: export and import through the window's commands, hostile files, and
// failures of the disk on either side.
#include "support/filesizelimit.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "exchange/exportdlg.h"
#include "mainwindow/mainwindow.h"

#include <memory>
#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

const QString Escapes = QStringLiteral(KEYQUILL_TEST_DATA "/escapes.mmacro");
const QString Euro = QStringLiteral("\u20acuro Letters");
const QString EuroNote = QStringLiteral("\u20acuro Letters/\u00c9t\u00e9|201326657|Caf\u00e9 costs "
                                        "5 \u20ac; a=b, \"quoted\" back\\slash 100%\nnext line");

} // namespace

class TestExchange final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    QTemporaryDir m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<MainWindow> m_window;

    QTreeWidget *tree() const { return m_window->findChild<QTreeWidget *>("treeMacros"); }
    void import(const QString &path)
    {
        m_dialogs->files = {path};
        for (QAction *action : m_window->findChildren<QAction *>()) {
            if (action->text() == "&Import Master Macro")
                action->trigger();
        }
    }
    // Runs the export dialog with everything ticked; true when it closed.
    bool exportTo(const QString &path)
    {
        ExportDlg dialog(m_window->store(), *m_dialogs);
        m_dialogs->files = {path};
        dialog.show();
        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        return !dialog.isVisible();
    }

private Q_SLOTS:
    void init()
    {
        TestEnvironment::clearStore();
        TestEnvironment::writeNote("Keep", "k", 0, "kept");
        m_window.reset();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_window = std::make_unique<MainWindow>(m_dialogs.get());
    }

    void roundTripKeepsEscapes()
    {
        import(Escapes);
        QVERIFY(TestEnvironment::storeDump().contains(EuroNote));
        const QStringList before = TestEnvironment::storeDump();
        const QString file = m_dir.filePath("round.mmacro");
        QVERIFY(exportTo(file));
        // Back in under clashing names: each is asked for anew, letter case ignored.
        m_dialogs->names = {"keep 2", "Strasse 2", "Euro 2"};
        import(file);
        QCOMPARE(m_dialogs->asked.size(), 6); // three file names and three new names
        QVERIFY(m_dialogs->asked.at(3).startsWith(
            "Import Master Macro|Master Macro with name \"Keep\" exists."));
        QStringList after = TestEnvironment::storeDump();
        QCOMPARE(after.size(), 2 * before.size());
        QVERIFY(after.contains(QString(EuroNote).replace(Euro, "Euro 2")));
        QCOMPARE(TestEnvironment::treeDump(tree()).size(), 2 * (before.size() + 3));
    }

    void hostileFilesLeaveTheStoreSound_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("added"); // notes the import adds
        QTest::addColumn<QStringList>("asked");
        const QString data = QStringLiteral(KEYQUILL_TEST_DATA "/");
        QTest::newRow("a folder")
            << data << QStringList()
            << QStringList{"Keyquill|The file \"" + data + "\" could not be read as a Master "
                                                           "Macro file."};
        QTest::newRow("separators in names")
            << data + "separators.mmacro" << QStringList{"Fine/ok|0|kept"} << QStringList();
        QTest::newRow("odd keys")
            << data + "hostile-keys.mmacro"
            << QStringList{"Odd/absurd|0|a", "Odd/again|0|same section twice",
                           "Odd/dup|67108929|second", "Odd/hexa|0|", "Odd/max|2147483647|",
                           "Odd/negative|-1|", "Odd/word|0|"}
            << QStringList();
        // Half of a surrogate pair, by hex and by octal escape, comes in as U+FFFD.
        QTest::newRow("lone surrogates")
            << data + "surrogates.mmacro"
            << QStringList{"Half/h|0|a" + QString(QChar::ReplacementCharacter) + "z",
                           "Half/o|0|" + QString(QChar::ReplacementCharacter)}
            << QStringList();
    }
    void hostileFilesLeaveTheStoreSound()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, added);
        import(path);
        QTEST(m_dialogs->asked.mid(1), "asked");
        QStringList stored = TestEnvironment::storeDump();
        added << "Keep/k|0|kept";
        stored.sort();
        added.sort();
        QCOMPARE(stored, added);
        // What the tree shows is what the store holds, and ticking it survives odd codes.
        QCOMPARE(TestEnvironment::treeDump(tree()).size(), 1 + added.size() + (added.size() > 1 ? 1 : 0));
        tree()->topLevelItem(tree()->topLevelItemCount() - 1)->setCheckState(0, Qt::Checked);
    }

    void refusedImportIsTakenBack()
    {
        const QStringList before = TestEnvironment::treeDump(tree());
        {
            FileSizeLimit full(QFile(m_window->store().fileName()).size());
            QVERIFY(full.isActive());
            import(Escapes);
        }
        QCOMPARE(m_dialogs->asked.size(), 2);
        QVERIFY(m_dialogs->asked.last().contains("were not imported"));
        QCOMPARE(TestEnvironment::storeDump(), QStringList{"Keep/k|0|kept"});
        QCOMPARE(TestEnvironment::treeDump(tree()), before);
    }

    void failedExportKeepsTheDialogAndTheTarget_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("a folder") << QString();
        QTest::newRow("full disk") << "full.mmacro";
        QTest::newRow("the store itself") << "store";
    }
    void failedExportKeepsTheDialogAndTheTarget()
    {
        QFETCH(QString, target);
        QString path = target == "store" ? m_window->store().fileName() : m_dir.filePath(target);
        if (target == "full.mmacro") {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        }
        const QByteArray before = TestEnvironment::fileBytes(path);
        {
            FileSizeLimit full(target == "full.mmacro" ? 10 : 1 << 30);
            QVERIFY(!exportTo(path));
        }
        QCOMPARE(m_dialogs->asked.size(), 2);
        QVERIFY(m_dialogs->asked.last().contains("could not be written to"));
        QCOMPARE(TestEnvironment::fileBytes(path), before);
    }
};

QTEST_MAIN(TestExchange)
#include "tst_exchange.moc"
