// The export dialog on its own: its form, the check-box rules and the writer.
#include "exchange/exportdlg.h"
#include "store/macrostore.h"
#include "support/filesizelimit.h"
#include "support/modalanswerer.h"
#include "support/storeprobe.h"
#include "support/testenv.h"
#include "widgets/checktreewidget.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

CheckTreeWidget *treeOf(ExportDlg &dialog)
{
    return dialog.findChild<CheckTreeWidget *>(QStringLiteral("treeMacros"));
}

QTreeWidgetItem *itemNamed(ExportDlg &dialog, const QString &name)
{
    const auto found = treeOf(dialog)->findItems(name, Qt::MatchExactly | Qt::MatchRecursive, 0);
    return found.isEmpty() ? nullptr : found.first();
}

void clickOk(ExportDlg &dialog)
{
    dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Ok)
        ->click();
}

// "A:1 a1:10 ..." : column 0 (and column 1 for notes) of every item, in tree order.
QString checkStates(ExportDlg &dialog)
{
    QStringList out;
    CheckTreeWidget *tree = treeOf(dialog);
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *master = tree->topLevelItem(i);
        out << master->text(0) + QLatin1Char(':') +
                   QString::number(master->checkState(0) == Qt::Checked);
        for (int j = 0; j < master->childCount(); ++j) {
            QTreeWidgetItem *note = master->child(j);
            out << note->text(0) + QLatin1Char(':') +
                       QString::number(note->checkState(0) == Qt::Checked) +
                       QString::number(note->checkState(1) == Qt::Checked);
        }
    }
    return out.join(QLatin1Char(' '));
}

// Every key and value of an exported file, "path=value", sorted.
QStringList fileContent(const QString &path)
{
    QSettings file(path, QSettings::IniFormat);
    return StoreProbe::dump(file);
}

QByteArray rawContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

} // namespace

class TestExportDlg final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void form();
    void checkRules_data();
    void checkRules();
    void okAtOnceExportsEverything();
    void selectionDecidesWhatIsWritten();
    void exportReplacesFile_data();
    void exportReplacesFile();
    void cancelledSaveKeepsDialogOpen();
    void writeFailureKeepsDialogOpen_data();
    void writeFailureKeepsDialogOpen();
    void failedExportLeavesTargetAlone_data();
    void failedExportLeavesTargetAlone();
    void storeFileIsNeverATarget();
    void defaultRequestIsSaveDialog();

private:
    TestEnvironment m_env;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestExportDlg::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    TestEnvironment::clearStore();
    // Ctrl+Alt+A and Ctrl+Shift+F1, as the editor saves them.
    TestEnvironment::writeNote(QStringLiteral("A"), QStringLiteral("a1"), 0x0C000041,
                               QStringLiteral("first"));
    TestEnvironment::writeNote(QStringLiteral("A"), QStringLiteral("a2"), 0x07000030,
                               QStringLiteral("second"));
    TestEnvironment::writeNote(QStringLiteral("A"), QStringLiteral("a3"), 0, QString());
    TestEnvironment::writeNote(QStringLiteral("B"), QStringLiteral("b1"), 0x04000042,
                               QStringLiteral("bee"));
    TestEnvironment::writeNote(QStringLiteral("B"), QStringLiteral("b2"), 0,
                               QStringLiteral("bee two"));
    TestEnvironment::writeMasterMacro(QStringLiteral("C"));
    QSettings store;
    store.setValue(QStringLiteral("MasterMacros/A/description"), QStringLiteral("secret"));
}

void TestExportDlg::form()
{
    ExportDlg dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("ExportDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Export"));
    auto *selectAll = dialog.findChild<QPushButton *>(QStringLiteral("btnSelectAll"));
    auto *deselectAll = dialog.findChild<QPushButton *>(QStringLiteral("btnDeselectAll"));
    QVERIFY(selectAll && deselectAll);
    QCOMPARE(selectAll->text(), QStringLiteral("Select All"));
    QCOMPARE(deselectAll->text(), QStringLiteral("De-Select All"));
    CheckTreeWidget *tree = treeOf(dialog);
    QCOMPARE(tree->columnCount(), 2);
    QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Master Macros / Notes"));
    QCOMPARE(tree->headerItem()->text(1), QStringLiteral("Export Note Content"));

    // Everything starts checked, master macros have no content box, and C has no notes.
    QCOMPARE(checkStates(dialog), QStringLiteral("A:1 a1:11 a2:11 a3:11 B:1 b1:11 b2:11 C:1"));
    QTreeWidgetItem *master = itemNamed(dialog, QStringLiteral("A"));
    QVERIFY(!master->data(1, Qt::CheckStateRole).isValid());
}

void TestExportDlg::checkRules_data()
{
    // Steps: -X / +X uncheck / check column 0 of item X, -X/c / +X/c its content box,
    // "all" / "none" press Select All / De-Select All.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected");
    const QString all = QStringLiteral("A:1 a1:11 a2:11 a3:11 B:1 b1:11 b2:11 C:1");
    QTest::newRow("unchecking a master unchecks its notes and contents")
        << "-A"
        << "A:0 a1:00 a2:00 a3:00 B:1 b1:11 b2:11 C:1";
    QTest::newRow("checking one note of an unchecked master checks it all") << "-A +a2" << all;
    QTest::newRow("unchecking every note leaves the master checked")
        << "-a1 -a2 -a3"
        << "A:1 a1:01 a2:01 a3:01 B:1 b1:11 b2:11 C:1";
    QTest::newRow("a content box alone") << "-a1/c"
                                         << "A:1 a1:10 a2:11 a3:11 B:1 b1:11 b2:11 C:1";
    QTest::newRow("content box of an unchecked note changes nothing else")
        << "-A +a1/c"
        << "A:0 a1:01 a2:00 a3:00 B:1 b1:11 b2:11 C:1";
    QTest::newRow("select all leaves notes of a checked master alone")
        << "-a1 -b2/c all"
        << "A:1 a1:01 a2:11 a3:11 B:1 b1:11 b2:10 C:1";
    QTest::newRow("select all checks an unchecked master's notes") << "-a1 -A all" << all;
    QTest::newRow("unchecking and checking a master checks its notes again") << "-a1 -A +A" << all;
    QTest::newRow("de-select all") << "none"
                                   << "A:0 a1:00 a2:00 a3:00 B:0 b1:00 b2:00 C:0";
    QTest::newRow("de-select all leaves notes of an unchecked master alone")
        << "-A +a1/c none"
        << "A:0 a1:01 a2:00 a3:00 B:0 b1:00 b2:00 C:0";
}

void TestExportDlg::checkRules()
{
    QFETCH(QString, steps);
    QFETCH(QString, expected);
    ExportDlg dialog;
    const QStringList list = steps.split(QLatin1Char(' '));
    for (const QString &step : list) {
        if (step == QLatin1String("all")) {
            dialog.findChild<QPushButton *>(QStringLiteral("btnSelectAll"))->click();
            continue;
        }
        if (step == QLatin1String("none")) {
            dialog.findChild<QPushButton *>(QStringLiteral("btnDeselectAll"))->click();
            continue;
        }
        const bool content = step.endsWith(QLatin1String("/c"));
        const QString name = step.mid(1, step.size() - 1 - (content ? 2 : 0));
        QTreeWidgetItem *item = itemNamed(dialog, name);
        QVERIFY2(item, qPrintable(name));
        // A click on a box ends in the item's setData, as this does.
        item->setCheckState(content ? 1 : 0,
                            step.startsWith(QLatin1Char('+')) ? Qt::Checked : Qt::Unchecked);
    }
    QCOMPARE(checkStates(dialog), expected);
}

void TestExportDlg::okAtOnceExportsEverything()
{
    const QString path = m_dir->filePath(QStringLiteral("all.mmacro"));
    ExportDlg dialog;
    QWidget *askedParent = nullptr;
    QString askedCaption, askedFilter;
    dialog.setFileRequest([&](QWidget *parent, const QString &caption, const QString &filter) {
        askedParent = parent;
        askedCaption = caption;
        askedFilter = filter;
        return path;
    });
    clickOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(askedParent, &dialog);
    QCOMPARE(askedCaption, QStringLiteral("Export Master Macros"));
    QCOMPARE(askedFilter, QStringLiteral("Master Macros Files (*.mmacro)"));
    // No description, no group for C (it has no notes), codes as integers.
    QCOMPARE(fileContent(path), QStringList({
                                    QStringLiteral("A/Macros/a1/shortcut=201326657"),
                                    QStringLiteral("A/Macros/a1/text=first"),
                                    QStringLiteral("A/Macros/a2/shortcut=117440560"),
                                    QStringLiteral("A/Macros/a2/text=second"),
                                    QStringLiteral("A/Macros/a3/shortcut=0"),
                                    QStringLiteral("A/Macros/a3/text="),
                                    QStringLiteral("B/Macros/b1/shortcut=67108930"),
                                    QStringLiteral("B/Macros/b1/text=bee"),
                                    QStringLiteral("B/Macros/b2/shortcut=0"),
                                    QStringLiteral("B/Macros/b2/text=bee two"),
                                }));
    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(raw.readAll().contains("Macros\\a1\\shortcut=201326657"));
    raw.close();
    // A new file gets the mode any new file of ours gets, and nothing else is left behind.
    QFile plain(m_dir->filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QCOMPARE(raw.permissions(), plain.permissions());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList({"all.mmacro", "plain"}));
}

void TestExportDlg::selectionDecidesWhatIsWritten()
{
    // A note never saved holds "" as its code; it is written as 0.
    {
        QSettings store;
        store.setValue(QStringLiteral("MasterMacros/B/Macros/b1/shortcut"), QString());
    }
    const QString path = m_dir->filePath(QStringLiteral("some.mmacro"));
    ExportDlg dialog;
    dialog.setFileRequest([&](QWidget *, const QString &, const QString &) { return path; });
    itemNamed(dialog, QStringLiteral("a1"))->setCheckState(1, Qt::Unchecked);
    itemNamed(dialog, QStringLiteral("a2"))->setCheckState(0, Qt::Unchecked);
    itemNamed(dialog, QStringLiteral("a3"))->setCheckState(0, Qt::Unchecked);
    itemNamed(dialog, QStringLiteral("b2"))->setCheckState(0, Qt::Unchecked);
    itemNamed(dialog, QStringLiteral("b1"))->setCheckState(0, Qt::Unchecked);
    clickOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    // B is checked but has no checked note: the file does not list it.
    QCOMPARE(fileContent(path), QStringList{QStringLiteral("A/Macros/a1/shortcut=201326657")});
    QCOMPARE(QSettings(path, QSettings::IniFormat).childGroups(), QStringList{"A"});
}

void TestExportDlg::exportReplacesFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("an earlier export")
        << QByteArray("[Old]\nMacros\\o\\text=stale\n[A]\nMacros\\gone\\shortcut=5\n") << false;
    // The settings layer reports a format error for it: that must not pass for a failed write.
    QTest::newRow("a file the settings layer cannot parse")
        << QByteArray("[never closed\nkey=1\n") << false;
    QTest::newRow("a link to an earlier export")
        << QByteArray("[Old]\nMacros\\o\\shortcut=65\n") << true;
}

void TestExportDlg::exportReplacesFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, throughLink);
    const QString real = m_dir->filePath(QStringLiteral("old.mmacro"));
    const QString link = m_dir->filePath(QStringLiteral("link.mmacro"));
    {
        QFile file(real);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    if (throughLink && !QFile::link(real, link))
        QSKIP("This file system has no links");
    // The file is replaced, but keeps the mode its owner gave it.
    const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                    QFile::WriteUser | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(real, mode));

    ModalAnswerer answerer;
    ExportDlg dialog;
    dialog.setFileRequest(
        [&](QWidget *, const QString &, const QString &) { return throughLink ? link : real; });
    dialog.findChild<QPushButton *>(QStringLiteral("btnDeselectAll"))->click();
    itemNamed(dialog, QStringLiteral("b2"))->setCheckState(0, Qt::Checked);
    itemNamed(dialog, QStringLiteral("b1"))->setCheckState(0, Qt::Unchecked);
    clickOk(dialog);
    QCOMPARE(answerer.said(), QStringList());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(fileContent(real), QStringList({QStringLiteral("B/Macros/b2/shortcut=0"),
                                             QStringLiteral("B/Macros/b2/text=bee two")}));
    QCOMPARE(QFile::permissions(real), mode);
    QCOMPARE(QFileInfo(link).isSymLink(), throughLink);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::System),
             throughLink ? QStringList({"link.mmacro", "old.mmacro"}) : QStringList{"old.mmacro"});
}

void TestExportDlg::cancelledSaveKeepsDialogOpen()
{
    ModalAnswerer answerer;
    ExportDlg dialog;
    int asked = 0;
    dialog.setFileRequest([&](QWidget *, const QString &, const QString &) {
        ++asked;
        return QString();
    });
    answerer.expect([&](QWidget *shown) {
        itemNamed(dialog, QStringLiteral("a1"))->setCheckState(0, Qt::Unchecked);
        clickOk(dialog);
        if (asked == 1 && shown->isVisible())
            static_cast<QDialog *>(shown)->reject();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(asked, 1);
    QCOMPARE(answerer.said(), QStringList{"Export"});
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
}

void TestExportDlg::writeFailureKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("a folder") << QStringLiteral("folder");
    QTest::newRow("below a regular file") << QStringLiteral("plain/inside.mmacro");
}

void TestExportDlg::writeFailureKeepsDialogOpen()
{
    // Both bind root too, so the test holds whoever runs it.
    QFETCH(QString, target);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    QFile plain(m_dir->filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString bad = m_dir->filePath(target);
    const QString good = m_dir->filePath(QStringLiteral("good.mmacro"));

    ModalAnswerer answerer;
    ExportDlg dialog;
    QStringList answers{bad, good};
    dialog.setFileRequest(
        [&](QWidget *, const QString &, const QString &) { return answers.takeFirst(); });
    QString statesAfterWarning;
    bool openAfterWarning = false;
    answerer.expect([&](QWidget *) {
        itemNamed(dialog, QStringLiteral("A"))->setCheckState(0, Qt::Unchecked);
        itemNamed(dialog, QStringLiteral("b2"))->setCheckState(1, Qt::Unchecked);
        clickOk(dialog); // the warning comes up from here
        openAfterWarning = dialog.isVisible();
        statesAfterWarning = checkStates(dialog);
        clickOk(dialog);
    });
    answerer.ok();
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(answerer.said(),
             QStringList({QStringLiteral("Export"),
                          QStringLiteral("Keyquill|The Master Macros could not be written to "
                                         "\"%1\".")
                              .arg(QDir::toNativeSeparators(bad))}));
    QVERIFY(openAfterWarning);
    QCOMPARE(statesAfterWarning, QStringLiteral("A:0 a1:00 a2:00 a3:00 B:1 b1:11 b2:10 C:1"));
    QCOMPARE(fileContent(good), QStringList({QStringLiteral("B/Macros/b1/shortcut=67108930"),
                                             QStringLiteral("B/Macros/b1/text=bee"),
                                             QStringLiteral("B/Macros/b2/shortcut=0")}));
}

void TestExportDlg::failedExportLeavesTargetAlone_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("an earlier export")
        << QByteArray("[Old]\nMacros\\o\\shortcut=65\nMacros\\o\\text=old text\n");
    QTest::newRow("a file the settings layer cannot parse") << QByteArray("[never closed\nkey=1\n");
}

void TestExportDlg::failedExportLeavesTargetAlone()
{
    // The disk is full: the new content cannot be written, so the old file must stay as it
    // was, on disk and for whoever reads it next in this process.
    QFETCH(QByteArray, bytes);
    const QString path = m_dir->filePath(QStringLiteral("old.mmacro"));
    const QString twin = m_dir->filePath(QStringLiteral("twin.mmacro"));
    for (const QString &name : {path, twin}) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    const QStringList oldContent = fileContent(twin);
    const QSettings::Status oldStatus = QSettings(twin, QSettings::IniFormat).status();

    ModalAnswerer answerer;
    answerer.ok();
    ExportDlg dialog;
    dialog.setFileRequest([&](QWidget *, const QString &, const QString &) { return path; });
    {
        FileSizeLimit limit(32);
        QVERIFY(limit.isActive());
        clickOk(dialog);
    }
    QCOMPARE(answerer.said(),
             QStringList{QStringLiteral("Keyquill|The Master Macros could not be written to "
                                        "\"%1\".")
                             .arg(QDir::toNativeSeparators(path))});
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(rawContent(path), bytes);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files),
             QStringList({"old.mmacro", "twin.mmacro"}));
    QCOMPARE(fileContent(path), oldContent);
    QCOMPARE(QSettings(path, QSettings::IniFormat).status(), oldStatus);
    // Reading it again, now that the disk has room, wrote nothing pending.
    QCOMPARE(rawContent(path), bytes);

    // With room on the disk the same choice succeeds.
    clickOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(fileContent(path).size(), 10);
}

void TestExportDlg::storeFileIsNeverATarget()
{
    const QString storeFile = QSettings().fileName();
    QVERIFY(QFileInfo::exists(storeFile));
    const QStringList before = QSettings().allKeys();
    ModalAnswerer answerer;
    answerer.ok();
    ExportDlg dialog;
    dialog.setFileRequest([&](QWidget *, const QString &, const QString &) { return storeFile; });
    clickOk(dialog);
    QTRY_COMPARE(answerer.pending(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(QSettings().allKeys(), before);
}

void TestExportDlg::defaultRequestIsSaveDialog()
{
    ModalAnswerer answerer;
    QString title;
    QStringList filters;
    bool saving = false;
    ExportDlg dialog;
    answerer.expect([&](QWidget *) { clickOk(dialog); });
    answerer.expect([&](QWidget *shown) {
        if (auto *files = qobject_cast<QFileDialog *>(shown)) {
            title = files->windowTitle();
            filters = files->nameFilters();
            saving = files->acceptMode() == QFileDialog::AcceptSave;
        }
        static_cast<QDialog *>(shown)->reject();
        QTimer::singleShot(0, &dialog, &QDialog::reject);
    });
    dialog.exec();
    QCOMPARE(answerer.said().size(), 2);
    QCOMPARE(title, QStringLiteral("Export Master Macros"));
    QCOMPARE(filters, QStringList{"Master Macros Files (*.mmacro)"});
    QVERIFY(saving);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
}

QTEST_MAIN(TestExportDlg)
#include "tst_exportdlg.moc"
