// The import command of the main window, the export command, and files travelling between
// stores through both.
#include "exchange/exportdlg.h"
#include "hotkeys/globalshortcut.h"
#include "mainwindow/mainwindow.h"
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
#include <QFileInfo>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

struct MainWindowTester
{
    static void answerImport(MainWindow &window, const QString &path, QStringList *asked = nullptr)
    {
        window.m_importFileRequest = [&window, path, asked](QWidget *parent, const QString &caption,
                                                            const QString &filter) {
            if (asked)
                *asked << (parent == &window ? QStringLiteral("main window") : QStringLiteral("?"))
                       << caption << filter;
            return path;
        };
    }
    static void useRealFileDialog(MainWindow &window) { window.m_importFileRequest = nullptr; }
};

namespace {

const QString Prompt =
    QStringLiteral("Import Master Macro|Master Macro with name \"%1\" exists. Enter new Master "
                   "Macro name|%1");

QString promptFor(const QString &name)
{
    return Prompt.arg(name);
}

QString unreadableWarning(const QString &path)
{
    return QStringLiteral("Keyquill|The file \"%1\" could not be read as a Master Macro file.")
        .arg(QDir::toNativeSeparators(path));
}

CheckTreeWidget *treeOf(QWidget &window)
{
    return window.findChild<CheckTreeWidget *>(QStringLiteral("treeMacros"));
}

QStringList topLevelNames(QWidget &window)
{
    QStringList names;
    CheckTreeWidget *tree = treeOf(window);
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        names << tree->topLevelItem(i)->text(0);
    return names;
}

// "M", "M/N|shortcut text" of the tree, sorted.
QStringList treeDump(QWidget &window)
{
    QStringList out;
    CheckTreeWidget *tree = treeOf(window);
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *master = tree->topLevelItem(i);
        out << master->text(0);
        for (int j = 0; j < master->childCount(); ++j)
            out << master->text(0) + QLatin1Char('/') + master->child(j)->text(0) +
                       QLatin1Char('|') + master->child(j)->text(1);
    }
    out.sort();
    return out;
}

// The same from the store, as the tree would show it.
QStringList storeDump()
{
    QStringList out;
    QSettings store;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    const QStringList masters = store.childGroups();
    for (const QString &master : masters) {
        out << master;
        store.beginGroup(master + QLatin1Char('/') + MacroStore::MacrosGroup);
        const QStringList notes = store.childGroups();
        for (const QString &note : notes) {
            store.beginGroup(note);
            out << master + QLatin1Char('/') + note + QLatin1Char('|') +
                       MacroStore::codeText(MacroStore::readCode(store));
            store.endGroup();
        }
        store.endGroup();
    }
    out.sort();
    return out;
}

// Every key and value under MasterMacros, "path=value", sorted.
QStringList storeContent()
{
    QSettings store;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    return StoreProbe::dump(store);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A master macro file with the given master macros, each holding one note "n" (code 1,
// text = master name) unless listed in notes.
void writeMasterFile(const QString &path, const QStringList &masters)
{
    QSettings file(path, QSettings::IniFormat);
    for (const QString &master : masters) {
        file.setValue(master + QStringLiteral("/Macros/n/shortcut"), 0x04000041);
        file.setValue(master + QStringLiteral("/Macros/n/text"), master);
    }
}

} // namespace

class TestImport final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void cancelledFileDialogDoesNothing();
    void defaultRequestIsOpenDialog();
    void importsIntoTreeAndStore();
    void clashPrompt_data();
    void clashPrompt();
    void renamedMasterMacroStoresUnderNewName();
    void importLeavesActiveMasterMacro();
    void unreadableFileWarns_data();
    void unreadableFileWarns();
    void fileWithoutMasterMacrosIsSilent_data();
    void fileWithoutMasterMacrosIsSilent();
    void filesOfOtherVersions();
    void hostileKeys();
    void namesWithSeparatorsAreSkipped();
    void hostileFilesLeaveStoreIntact_data();
    void hostileFilesLeaveStoreIntact();
    void roundTrip();
    void exportWithoutContentImportsEmptyText();
    void exportCommandLeavesTickBehind();
    void refusedStoreTakesImportBack();
    void failedExportLeavesOldFileToImport();

private:
    void import(const QString &path);

    TestEnvironment m_env;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void TestImport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    TestEnvironment::clearStore();
    TestEnvironment::writeNote(QStringLiteral("Keep"), QStringLiteral("k"), 0x0C000041,
                               QStringLiteral("keep me"));
    TestEnvironment::writeMasterMacro(QStringLiteral("letters"));
    TestEnvironment::writeNote(QStringLiteral("Notes"), QStringLiteral("Shared"), 0,
                               QStringLiteral("a note"));
    m_window = std::make_unique<MainWindow>();
}

void TestImport::cleanup()
{
    m_window.reset();
}

void TestImport::import(const QString &path)
{
    MainWindowTester::answerImport(*m_window, path);
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "importMasterMacro"));
}

void TestImport::cancelledFileDialogDoesNothing()
{
    const QStringList before = storeContent();
    QStringList asked;
    MainWindowTester::answerImport(*m_window, QString(), &asked);
    ModalAnswerer answerer;
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "importMasterMacro"));
    QCOMPARE(asked,
             QStringList({QStringLiteral("main window"), QStringLiteral("Import Master Macro"),
                          QStringLiteral("Master Macro Files (*.mmacro)")}));
    QCOMPARE(answerer.said(), QStringList());
    QCOMPARE(storeContent(), before);
    QCOMPARE(topLevelNames(*m_window), QStringList({"Keep", "Notes", "letters"}));
}

void TestImport::defaultRequestIsOpenDialog()
{
    MainWindowTester::useRealFileDialog(*m_window);
    ModalAnswerer answerer;
    QString title;
    QStringList filters;
    bool opening = false;
    answerer.expect([&](QWidget *shown) {
        if (auto *files = qobject_cast<QFileDialog *>(shown)) {
            title = files->windowTitle();
            filters = files->nameFilters();
            opening = files->acceptMode() == QFileDialog::AcceptOpen &&
                      files->fileMode() == QFileDialog::ExistingFile;
        }
        static_cast<QDialog *>(shown)->reject();
    });
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "importMasterMacro"));
    QCOMPARE(answerer.said().size(), 1);
    QCOMPARE(title, QStringLiteral("Import Master Macro"));
    QCOMPARE(filters, QStringList{"Master Macro Files (*.mmacro)"});
    QVERIFY(opening);
}

void TestImport::importsIntoTreeAndStore()
{
    const QString path = m_dir->filePath(QStringLiteral("two.mmacro"));
    {
        QSettings file(path, QSettings::IniFormat);
        file.setValue(QStringLiteral("Greetings/Macros/hello/shortcut"), 0x0C000041);
        file.setValue(QStringLiteral("Greetings/Macros/hello/text"), QStringLiteral("Hello!"));
        file.setValue(QStringLiteral("Greetings/Macros/bye/shortcut"), 0);
        file.setValue(QStringLiteral("Work/Macros/sig/shortcut"), 0x07000030);
    }
    ModalAnswerer answerer;
    import(path);
    QCOMPARE(answerer.said(), QStringList());
    QCOMPARE(topLevelNames(*m_window),
             QStringList({"Keep", "Notes", "letters", "Greetings", "Work"}));
    QCOMPARE(treeDump(*m_window), storeDump());
    QVERIFY(treeDump(*m_window).contains(QStringLiteral("Greetings/hello|Ctrl+Alt+A")));
    QVERIFY(treeDump(*m_window).contains(QStringLiteral("Work/sig|Ctrl+Shift+F1")));
    QCOMPARE(StoreProbe::text(QStringLiteral("Greetings"), QStringLiteral("hello")),
             QStringLiteral("Hello!"));
    // Codes go in as integers, texts as strings (no event loop has run since, so the store
    // still holds the values as written); no description is written.
    QSettings store;
    QCOMPARE(store.value(QStringLiteral("MasterMacros/Greetings/Macros/bye/shortcut")).typeId(),
             QMetaType::Int);
    QCOMPARE(store.value(QStringLiteral("MasterMacros/Greetings/Macros/bye/text")).typeId(),
             QMetaType::QString);
    QVERIFY(!store.contains(QStringLiteral("MasterMacros/Greetings/description")));
    CheckTreeWidget *tree = treeOf(*m_window);
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        QCOMPARE(tree->topLevelItem(i)->checkState(0), Qt::Unchecked);
}

void TestImport::clashPrompt_data()
{
    // The store holds Keep, letters and Notes (with a note Shared). "<cancel>" cancels.
    QTest::addColumn<QStringList>("fileMasters");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("prompts");
    QTest::addColumn<QStringList>("added");

    QTest::newRow("letter case is ignored")
        << QStringList{"Letters"} << QStringList{"Words"} << QStringList{promptFor("Letters")}
        << QStringList{"Words"};
    QTest::newRow("a note's name does not clash")
        << QStringList{"Shared"} << QStringList() << QStringList() << QStringList{"Shared"};
    QTest::newRow("a later one clashes with an earlier one")
        << QStringList{"Dup", "dup"} << QStringList{"Dup2"} << QStringList{promptFor("dup")}
        << QStringList{"Dup", "Dup2"};
    QTest::newRow("the unchanged name asks again")
        << QStringList{"Keep"} << QStringList{"Keep", "Kept"}
        << QStringList{promptFor("Keep"), promptFor("Keep")} << QStringList{"Kept"};
    QTest::newRow("another taken name asks again, showing it")
        << QStringList{"Keep"} << QStringList{"NOTES", "Kept"}
        << QStringList{promptFor("Keep"), promptFor("NOTES")} << QStringList{"Kept"};
    QTest::newRow("a slash is refused like a clash")
        << QStringList{"Keep"} << QStringList{"a/b", "ab"}
        << QStringList{promptFor("Keep"), promptFor("a/b")} << QStringList{"ab"};
    QTest::newRow("a backslash is refused like a clash")
        << QStringList{"Keep"} << QStringList{"a\\b", "ab"}
        << QStringList{promptFor("Keep"), promptFor("a\\b")} << QStringList{"ab"};
    QTest::newRow("spaces around a name are part of it")
        << QStringList{"Keep"} << QStringList{" Keep "} << QStringList{promptFor("Keep")}
        << QStringList{" Keep "};
    // Groups come in the settings layer's order: A1, B2, C3.
    QTest::newRow("cancel keeps what came before")
        << QStringList{"A1", "B2", "C3", "keep"} << QStringList{"<cancel>"}
        << QStringList{promptFor("keep")} << QStringList{"A1", "B2", "C3"};
    QTest::newRow("cancel stops before later ones")
        << QStringList{"A1", "Keep", "Z9"} << QStringList{"<cancel>"}
        << QStringList{promptFor("Keep")} << QStringList{"A1"};
    QTest::newRow("an empty name stops too") << QStringList{"A1", "Keep", "Z9"} << QStringList{""}
                                             << QStringList{promptFor("Keep")} << QStringList{"A1"};
}

void TestImport::clashPrompt()
{
    QFETCH(QStringList, fileMasters);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, prompts);
    QFETCH(QStringList, added);

    const QString path = m_dir->filePath(QStringLiteral("clash.mmacro"));
    writeMasterFile(path, fileMasters);
    const QStringList before = topLevelNames(*m_window);
    const QString keepText = StoreProbe::text(QStringLiteral("Keep"), QStringLiteral("k"));

    ModalAnswerer answerer;
    for (const QString &answer : answers) {
        if (answer == QLatin1String("<cancel>"))
            answerer.cancel();
        else
            answerer.type(answer);
    }
    import(path);
    QCOMPARE(answerer.said(), prompts);
    QCOMPARE(topLevelNames(*m_window), before + added);
    QCOMPARE(treeDump(*m_window), storeDump());
    QCOMPARE(StoreProbe::text(QStringLiteral("Keep"), QStringLiteral("k")), keepText);
    QCOMPARE(StoreProbe::text(QStringLiteral("Keep"), QStringLiteral("n")), QString());
}

void TestImport::renamedMasterMacroStoresUnderNewName()
{
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("mine"), 0x04000031,
                               QStringLiteral("stays"));
    m_window = std::make_unique<MainWindow>();
    const QString path = m_dir->filePath(QStringLiteral("alpha.mmacro"));
    {
        QSettings file(path, QSettings::IniFormat);
        file.setValue(QStringLiteral("Alpha/Macros/x/shortcut"), 0x0C000058);
        file.setValue(QStringLiteral("Alpha/Macros/x/text"), QStringLiteral("ex"));
        file.setValue(QStringLiteral("Alpha/Macros/y/shortcut"), 0);
        file.setValue(QStringLiteral("Alpha/Macros/y/text"), QStringLiteral("why"));
    }
    ModalAnswerer answerer;
    answerer.type(QStringLiteral("Beta"));
    import(path);
    QCOMPARE(answerer.said(), QStringList{promptFor("Alpha")});
    QCOMPARE(StoreProbe::code(QStringLiteral("Beta"), QStringLiteral("x")), 0x0C000058);
    QCOMPARE(StoreProbe::text(QStringLiteral("Beta"), QStringLiteral("x")), QStringLiteral("ex"));
    QCOMPARE(StoreProbe::text(QStringLiteral("Beta"), QStringLiteral("y")), QStringLiteral("why"));
    QSettings store;
    store.beginGroup(QStringLiteral("MasterMacros/Alpha/Macros"));
    QCOMPARE(store.childGroups(), QStringList{"mine"});
    store.endGroup();
    QCOMPARE(topLevelNames(*m_window).last(), QStringLiteral("Beta"));
    QCOMPARE(treeDump(*m_window), storeDump());
}

void TestImport::importLeavesActiveMasterMacro()
{
    CheckTreeWidget *tree = treeOf(*m_window);
    QTreeWidgetItem *keep = tree->findItems(QStringLiteral("Keep"), Qt::MatchFixedString).first();
    keep->setCheckState(0, Qt::Checked);
    const QList<GlobalShortcut *> shortcuts = tree->findChildren<GlobalShortcut *>();
    QCOMPARE(shortcuts.size(), 1);
    QPointer<GlobalShortcut> live = shortcuts.first();

    const QString path = m_dir->filePath(QStringLiteral("more.mmacro"));
    writeMasterFile(path, {"Keep", "Other"});
    ModalAnswerer answerer;
    answerer.type(QStringLiteral("Keep too"));
    import(path);
    QCOMPARE(answerer.said(), QStringList{promptFor("Keep")});
    QCOMPARE(keep->checkState(0), Qt::Checked);
    QCOMPARE(tree->findChildren<GlobalShortcut *>(), shortcuts);
    QVERIFY(live);
    QCOMPARE(live->shortcut(), QKeySequence(0x0C000041));
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (tree->topLevelItem(i) != keep)
            QCOMPARE(tree->topLevelItem(i)->checkState(0), Qt::Unchecked);
    }
}

void TestImport::unreadableFileWarns_data()
{
    // All of them bind root too.
    QTest::addColumn<QString>("name");
    QTest::newRow("a folder") << QStringLiteral("folder.mmacro");
    QTest::newRow("below a regular file") << QStringLiteral("plain/inside.mmacro");
    QTest::newRow("missing") << QStringLiteral("missing.mmacro");
    QTest::newRow("a format error") << QStringLiteral("broken.mmacro");
}

void TestImport::unreadableFileWarns()
{
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.mmacro")));
    writeFile(m_dir->filePath(QStringLiteral("plain")), "x");
    // The settings layer's reader gives up on a section header that never closes, after
    // having taken a valid master macro.
    writeFile(m_dir->filePath(QStringLiteral("broken.mmacro")),
              "[Good]\nMacros\\n\\shortcut=1\n[never closed\nMacros\\m\\shortcut=2\n");
    const QString path = m_dir->filePath(name);
    const QStringList before = storeContent();
    const QStringList tree = treeDump(*m_window);

    ModalAnswerer answerer;
    answerer.ok();
    import(path);
    QCOMPARE(answerer.said(), QStringList{unreadableWarning(path)});
    QCOMPARE(storeContent(), before);
    QCOMPARE(treeDump(*m_window), tree);
}

void TestImport::fileWithoutMasterMacrosIsSilent_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("keys outside any group") << QByteArray("a=1\n[General]\nb=2\n");
    QTest::newRow("plain text") << QByteArray("Dear diary,\nnothing to see.\n");
    QTest::newRow("a master macro without notes") << QByteArray("[Lonely]\ndescription=\n");
}

void TestImport::fileWithoutMasterMacrosIsSilent()
{
    QFETCH(QByteArray, bytes);
    const QString path = m_dir->filePath(QStringLiteral("none.mmacro"));
    writeFile(path, bytes);
    const QStringList before = storeContent();
    ModalAnswerer answerer;
    import(path);
    QCOMPARE(answerer.said(), QStringList());
    QCOMPARE(storeContent(), before);
    QCOMPARE(topLevelNames(*m_window), QStringList({"Keep", "Notes", "letters"}));
}

void TestImport::filesOfOtherVersions()
{
    ModalAnswerer answerer;
    import(QStringLiteral(KEYQUILL_TEST_DATA "/escapes.mmacro"));
    QCOMPARE(answerer.said(), QStringList());
    const QString euro = QStringLiteral("\u20acuro Letters");
    const QString ete = QStringLiteral("\u00c9t\u00e9");
    QCOMPARE(topLevelNames(*m_window),
             QStringList({"Keep", "Notes", "letters", QStringLiteral("Stra\u00dfe"), euro}));
    QCOMPARE(StoreProbe::code(euro, ete), 201326657);
    QCOMPARE(StoreProbe::text(euro, ete),
             QStringLiteral("Caf\u00e9 costs 5 \u20ac; a=b, \"quoted\" back\\slash 100%\nnext "
                            "line"));
    QCOMPARE(StoreProbe::text(euro, QStringLiteral(" spaced ")),
             QStringLiteral("  lead and trail  "));
    QCOMPARE(StoreProbe::code(euro, QStringLiteral("semi;colon=equals")), 0);
    QCOMPARE(StoreProbe::text(euro, QStringLiteral("semi;colon=equals")),
             QStringLiteral("plain text"));
    QCOMPARE(StoreProbe::code(QStringLiteral("Stra\u00dfe"), QStringLiteral("\u00fcber")),
             67108930);
    QCOMPARE(StoreProbe::text(QStringLiteral("Stra\u00dfe"), QStringLiteral("\u00fcber")),
             QString());
    // Written by hand: the settings layer reads an unquoted comma as a list separator.
    QCOMPARE(StoreProbe::text(QStringLiteral("Stra\u00dfe"), QStringLiteral("letter")),
             QStringLiteral("Dear Sir, thanks, and goodbye"));
    QCOMPARE(treeDump(*m_window), storeDump());
}

void TestImport::hostileKeys()
{
    ModalAnswerer answerer;
    import(QStringLiteral(KEYQUILL_TEST_DATA "/hostile-keys.mmacro"));
    QCOMPARE(answerer.said(), QStringList());
    // Keys outside any group bring nothing; the section given twice is one master macro.
    QCOMPARE(topLevelNames(*m_window), QStringList({"Keep", "Notes", "letters", "Odd"}));
    const QString odd = QStringLiteral("Odd");
    QCOMPARE(StoreProbe::code(odd, QStringLiteral("absurd")), 0);
    QCOMPARE(StoreProbe::text(odd, QStringLiteral("absurd")), QStringLiteral("a"));
    QCOMPARE(StoreProbe::code(odd, QStringLiteral("max")), 2147483647);
    QCOMPARE(StoreProbe::code(odd, QStringLiteral("negative")), -1);
    QCOMPARE(StoreProbe::code(odd, QStringLiteral("word")), 0);
    QCOMPARE(StoreProbe::code(odd, QStringLiteral("hexa")), 0);
    // A key given twice: the settings layer keeps the last.
    QCOMPARE(StoreProbe::code(odd, QStringLiteral("dup")), 67108929);
    QCOMPARE(StoreProbe::text(odd, QStringLiteral("dup")), QStringLiteral("second"));
    QCOMPARE(StoreProbe::text(odd, QStringLiteral("again")), QStringLiteral("same section twice"));
    QCOMPARE(treeDump(*m_window), storeDump());

    // Ticking a master macro with such codes registers what it can and survives.
    QTreeWidgetItem *item = treeOf(*m_window)->findItems(odd, Qt::MatchFixedString).first();
    item->setCheckState(0, Qt::Checked);
    QCOMPARE(treeOf(*m_window)->findChildren<GlobalShortcut *>().size(), 7);
}

void TestImport::namesWithSeparatorsAreSkipped()
{
    ModalAnswerer answerer;
    import(QStringLiteral(KEYQUILL_TEST_DATA "/separators.mmacro"));
    QCOMPARE(answerer.said(), QStringList());
    QCOMPARE(topLevelNames(*m_window), QStringList({"Keep", "Notes", "letters", "Fine"}));
    QCOMPARE(treeDump(*m_window), storeDump());
    QVERIFY(storeDump().contains(QStringLiteral("Fine/ok|")));
    QCOMPARE(treeOf(*m_window)->topLevelItem(3)->childCount(), 1);
}

void TestImport::hostileFilesLeaveStoreIntact_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("minimumNotes"); // notes the import must bring, at least

    for (quint32 seed = 1; seed <= 12; ++seed) {
        QRandomGenerator random(seed);
        QByteArray bytes(4096 * seed, Qt::Uninitialized);
        for (char &byte : bytes)
            byte = char(random.bounded(256));
        QTest::addRow("random bytes %u", seed) << bytes << 0;
    }
    // Random bytes around well-formed lines.
    {
        QRandomGenerator random(99);
        QByteArray bytes;
        for (int i = 0; i < 2000; ++i) {
            QByteArray noise(40, Qt::Uninitialized);
            for (char &byte : noise) {
                do
                    byte = char(random.bounded(256));
                while (byte == '\n' || byte == '\r');
            }
            bytes += "[M" + QByteArray::number(i % 7) + "]\nMacros\\n" + QByteArray::number(i) +
                     "\\text=" + noise + "\n";
        }
        QTest::newRow("noise in values") << bytes << 1;
    }
    {
        QByteArray bytes = "[Thousands]\n";
        for (int i = 0; i < 5000; ++i)
            bytes += "Macros\\note" + QByteArray::number(i) +
                     "\\shortcut=" + QByteArray::number(0x04000041 + i % 26) + "\nMacros\\note" +
                     QByteArray::number(i) + "\\text=text " + QByteArray::number(i) + "\n";
        QTest::newRow("thousands of notes") << bytes << 5000;
    }
    {
        const QByteArray big(1 << 20, 'x');
        QByteArray bytes = "[Big]\n";
        for (int i = 0; i < 6; ++i)
            bytes += "Macros\\n" + QByteArray::number(i) + "\\text=" + big + "\n";
        QTest::newRow("several megabytes") << bytes << 6;
    }
    // Half of a surrogate pair, by hex and by octal escape: imported with U+FFFD in its place.
    QTest::newRow("lone surrogates") << QByteArray("[Half]\nMacros\\h\\text=a\\xd800b\n"
                                                   "Macros\\o\\text=\\154000\n")
                                     << 2;
    QTest::newRow("one line without end") << QByteArray(3 << 20, '[') << 0;
    QTest::newRow("nul bytes") << QByteArray(100000, '\0') << 0;
}

void TestImport::hostileFilesLeaveStoreIntact()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, minimumNotes);
    const QString path = m_dir->filePath(QStringLiteral("hostile.mmacro"));
    writeFile(path, bytes);
    const QStringList before = storeContent();

    // Whatever the file brings up (a format warning, a clash with an existing name) is
    // answered by cancelling.
    ModalAnswerer answerer;
    for (int i = 0; i < 3; ++i)
        answerer.cancel();
    import(path);

    const QStringList after = storeContent();
    for (const QString &entry : before)
        QVERIFY2(after.contains(entry), qPrintable(entry));
    int newNotes = 0;
    for (const QString &entry : after) {
        if (!before.contains(entry) && entry.contains(QLatin1String("/shortcut=")))
            ++newNotes;
    }
    QVERIFY2(newNotes >= minimumNotes, qPrintable(QString::number(newNotes)));
    QCOMPARE(treeDump(*m_window), storeDump());
}

void TestImport::roundTrip()
{
    const QString longText = QString(QStringLiteral("0123456789\u00e9\u20ac\n")).repeated(20000);
    const QStringList names = {
        QStringLiteral("\u00dcn\u00efc\u00f8d\u00e9 \u20ac \u65e5\u672c"),
        QStringLiteral("a=b"),
        QStringLiteral("semi;colon"),
        QStringLiteral("per%cent %20 %U20AC"),
        QStringLiteral("quo\"te's"),
        QStringLiteral(" lead"),
        QStringLiteral("trail "),
        QStringLiteral("General"),
        QStringLiteral("comma, list"),
        QStringLiteral("[bracket]"),
        QStringLiteral("#hash"),
    };
    const QStringList texts = {
        QString(),
        QStringLiteral("line 1\nline 2\r\nline 3\n"),
        QStringLiteral("back\\slash \\n \\x20ac"),
        QStringLiteral("  spaces around  "),
        QStringLiteral("a, b"),
        QStringLiteral("\"quoted\""),
        QStringLiteral("tab\there ; semi = equals % percent"),
        QStringLiteral("@Variant(not really)"),
        QStringLiteral("\u00dcn\u00efc\u00f8d\u00e9 \u20ac \U0001F600"),
        longText,
        QStringLiteral("#hash"),
    };
    TestEnvironment::clearStore();
    {
        // One settings object for all: each of its own would write the whole store again.
        QSettings store;
        store.beginGroup(MacroStore::MasterMacrosGroup);
        for (int i = 0; i < names.size(); ++i) {
            for (int j = 0; j < names.size(); ++j) {
                store.beginGroup(names[i] + QStringLiteral("/Macros/") + names[j]);
                store.setValue(MacroStore::ShortcutKey, j == 0 ? 0 : 0x04000041 + j);
                store.setValue(MacroStore::TextKey, texts[(i + j) % texts.size()]);
                store.endGroup();
            }
        }
        store.setValue(QStringLiteral("no notes/description"), QString());
    }
    QStringList original = storeContent();
    original.removeAll(QStringLiteral("no notes/description="));

    const QString path = m_dir->filePath(QStringLiteral("round.mmacro"));
    {
        ExportDlg dialog;
        dialog.setFileRequest([&](QWidget *, const QString &, const QString &) { return path; });
        dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
            ->button(QDialogButtonBox::Ok)
            ->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    TestEnvironment::clearStore();
    m_window = std::make_unique<MainWindow>();
    ModalAnswerer answerer;
    import(path);
    QCOMPARE(answerer.said(), QStringList());
    QCOMPARE(storeContent(), original);
    QCOMPARE(treeDump(*m_window), storeDump());
    QCOMPARE(treeOf(*m_window)->topLevelItemCount(), names.size());

    // The same file again: every name exists now.
    for (int i = 0; i < names.size(); ++i)
        answerer.cancel();
    import(path);
    QCOMPARE(answerer.said().size(), 1);
    QVERIFY(answerer.said().first().startsWith(QStringLiteral("Import Master Macro|")));
}

void TestImport::exportWithoutContentImportsEmptyText()
{
    const QString path = m_dir->filePath(QStringLiteral("bare.mmacro"));
    {
        ExportDlg dialog;
        dialog.setFileRequest([&](QWidget *, const QString &, const QString &) { return path; });
        for (QTreeWidgetItem *item : dialog.findChild<CheckTreeWidget *>()->findItems(
                 QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive)) {
            if (item->parent())
                item->setCheckState(1, Qt::Unchecked);
        }
        dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
            ->button(QDialogButtonBox::Ok)
            ->click();
    }
    QCOMPARE(QSettings(path, QSettings::IniFormat).allKeys(),
             QStringList({"Keep/Macros/k/shortcut", "Notes/Macros/Shared/shortcut"}));

    TestEnvironment::clearStore();
    m_window = std::make_unique<MainWindow>();
    import(path);
    QCOMPARE(storeContent(), QStringList({"Keep/Macros/k/shortcut=201326657",
                                          "Keep/Macros/k/text=", "Notes/Macros/Shared/shortcut=0",
                                          "Notes/Macros/Shared/text="}));
}

void TestImport::exportCommandLeavesTickBehind()
{
    {
        QSettings store;
        store.setValue(QStringLiteral("MasterMacros/Keep/description"), QStringLiteral("mine"));
    }
    treeOf(*m_window)
        ->findItems(QStringLiteral("Keep"), Qt::MatchFixedString)
        .first()
        ->setCheckState(0, Qt::Checked);
    const QString path = m_dir->filePath(QStringLiteral("cmd.mmacro"));
    ModalAnswerer answerer;
    bool parentless = false;
    answerer.expect([&](QWidget *shown) {
        auto *dialog = qobject_cast<ExportDlg *>(shown);
        if (!dialog)
            return;
        parentless = !dialog->parentWidget();
        dialog->setFileRequest([&](QWidget *, const QString &, const QString &) { return path; });
        dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
            ->button(QDialogButtonBox::Ok)
            ->click();
    });
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "exportMasterMacro"));
    QCOMPARE(answerer.said(), QStringList{"Export"});
    QVERIFY(parentless);
    QSettings file(path, QSettings::IniFormat);
    QCOMPARE(file.allKeys(),
             QStringList({"Keep/Macros/k/shortcut", "Keep/Macros/k/text",
                          "Notes/Macros/Shared/shortcut", "Notes/Macros/Shared/text"}));
    QCOMPARE(file.value(QStringLiteral("Keep/Macros/k/text")).toString(),
             QStringLiteral("keep me"));
}

void TestImport::failedExportLeavesOldFileToImport()
{
    const QString path = m_dir->filePath(QStringLiteral("old.mmacro"));
    writeMasterFile(path, {QStringLiteral("Old")});
    ModalAnswerer answerer;
    answerer.ok();
    {
        ExportDlg dialog;
        dialog.setFileRequest([&](QWidget *, const QString &, const QString &) { return path; });
        // The disk is full: the export of the whole store does not fit.
        FileSizeLimit limit(64);
        QVERIFY(limit.isActive());
        dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
            ->button(QDialogButtonBox::Ok)
            ->click();
    }
    QCOMPARE(answerer.said().size(), 1);

    // What the file holds is what is imported, not the export that never reached it.
    import(path);
    QCOMPARE(answerer.said().size(), 1);
    QCOMPARE(topLevelNames(*m_window), QStringList({"Keep", "Notes", "letters", "Old"}));
    QCOMPARE(StoreProbe::text(QStringLiteral("Old"), QStringLiteral("n")), QStringLiteral("Old"));
    QCOMPARE(StoreProbe::code(QStringLiteral("Old"), QStringLiteral("n")), 0x04000041);
}

QTEST_MAIN(TestImport)
#include "tst_import.moc"

void TestImport::refusedStoreTakesImportBack()
{
    const QString path = m_dir->filePath(QStringLiteral("big.mmacro"));
    {
        QSettings file(path, QSettings::IniFormat);
        for (int i = 0; i < 20; ++i)
            file.setValue(QStringLiteral("Big%1/Macros/n/text").arg(i),
                          QString(200, QLatin1Char('x')));
    }
    const QString storeFile = QSettings().fileName();
    QSettings().sync();
    const QStringList before = storeContent();
    const QStringList tree = treeDump(*m_window);

    ModalAnswerer answerer;
    answerer.ok();
    {
        // The store may keep its present size but cannot grow: the import does not fit.
        FileSizeLimit limit(QFileInfo(storeFile).size() + 64);
        QVERIFY(limit.isActive());
        import(path);
    }
    QCOMPARE(answerer.said(),
             QStringList{QStringLiteral("Keyquill|The Master Macros of \"%1\" were not imported: "
                                        "the macro store %2 cannot be written.")
                             .arg(QDir::toNativeSeparators(path), storeFile)});
    QCOMPARE(treeDump(*m_window), tree);
    QCOMPARE(storeContent(), before);
    // Nothing of the import is left waiting to be written later either.
    m_window.reset();
    QSettings().sync();
    QCOMPARE(storeContent(), before);
}
