// Master macro files: what the import takes from files written by hand, by older versions and by
// nobody honest, and what the export writes, as its check boxes say; offscreen, through the
// window's commands, with the questions answered by a script.
#include "support/filesizelimit.h"
#include "support/modalanswerer.h"
#include "support/windowfixture.h"

#include "exchange/exportdlg.h"
#include "exchange/importbatch.h"
#include "exchange/importprogressdlg.h"
#include "exchange/masterexporter.h"

#include <sys/stat.h>

namespace {

const QString EuroNote = QStringLiteral("\u20acuro Letters/\u00c9t\u00e9|201326657|Caf\u00e9 costs "
                                        "5 \u20ac; a=b, \"quoted\" back\\slash 100%\nnext line");

} // namespace

class TestExchange final : public WindowFixture
{
    Q_OBJECT

    void import(const QString &path)
    {
        m_dialogs->files = {path};
        trigger("&Import Master Macro");
    }
    // Presses OK in the export dialog (a fresh one, everything ticked, unless given); true when
    // it closed.
    bool exportTo(const QString &path, ExportDlg *given = nullptr)
    {
        ExportDlg fresh(m_window->store(), *m_dialogs);
        ExportDlg &dialog = given ? *given : fresh;
        m_dialogs->files = {path};
        dialog.show();
        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        return !dialog.isVisible();
    }

private Q_SLOTS:
    void roundTripKeepsEscapes()
    {
        import(Escapes);
        const QStringList before = TestEnvironment::storeDump();
        // Unquoted commas make a list of the settings layer: the text comes in whole.
        QVERIFY(before.contains(EuroNote) &&
                before.contains("Stra\u00dfe/letter|0|Dear Sir, thanks, bye"));
        const QString file = m_dir.filePath("round.mmacro");
        QVERIFY(exportTo(file));
        // Back in under clashing names: each is asked for anew, letter case ignored.
        m_dialogs->names = {"Home 2", "Strasse 2", "Work 2", "Euro 2"};
        import(file);
        QCOMPARE(m_dialogs->asked.size(), 7); // three file names and four new names
        QVERIFY(m_dialogs->asked.at(3).startsWith(
            "Import Master Macro|Master Macro with name \"Home\" exists."));
        QStringList after = TestEnvironment::storeDump();
        QCOMPARE(after.size(), 2 * before.size());
        QVERIFY(after.contains(QString(EuroNote).replace("\u20acuro Letters", "Euro 2")));
        QCOMPARE(treeDump().size(), 2 * (before.size() + 4));
    }

    // Files of the older platform's settings layer (Qt 5, no codec): texts with any characters
    // come in exactly and go out again byte for byte as that layer wrote them, so that older
    // readers read them exactly too.
    void qt5FilesCrossBothWaysExactly()
    {
        if (QByteArray(KEYQUILL_QT5INI).isEmpty())
            QSKIP("Qt 5 (qtbase5-dev) was not found when the tests were configured");
        // Accents, the euro sign, an emoji (a surrogate pair), hex digits right after non-ASCII
        // letters, the INI format's own characters, line breaks, edge spaces.
        const QString notes = KEYQUILL_TEST_DATA "/legacy-notes.json";
        const QString qt5 = m_dir.filePath("qt5.mmacro");
        QCOMPARE(QProcess::execute(KEYQUILL_QT5INI, {notes, qt5}), 0);
        import(qt5);
        const QJsonObject texts =
            QJsonDocument::fromJson(TestEnvironment::fileBytes(notes)).object();
        MasterMacroExporter::Master legacy{"Legacy", {}};
        for (auto it = texts.begin(); it != texts.end(); ++it) {
            QCOMPARE(m_window->store().note("Legacy", it.key()).text, it.value().toString());
            legacy.notes.append({it.key(), true});
        }
        const QString again = m_dir.filePath("again.mmacro");
        QVERIFY(MasterMacroExporter(m_window->store()).write(again, {legacy}));
        QCOMPARE(TestEnvironment::fileBytes(again), TestEnvironment::fileBytes(qt5));
    }

    void hostileFilesLeaveTheStoreSound_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("added"); // notes the import adds
        QTest::addColumn<QString>("warning");
        const QString data = QStringLiteral(KEYQUILL_TEST_DATA "/");
        QTest::newRow("a folder") << data << QStringList() << "could not be read as a Master";
        // Refused before a byte is read (a sparse file: nothing of it is on the disk).
        QFile large(m_dir.filePath("large.mmacro"));
        if (large.open(QIODevice::WriteOnly) && large.resize(17 << 20))
            QTest::newRow("larger than an import reads")
                << large.fileName() << QStringList() << "is larger than 16 MiB";
        // The store refuses the import (a full disk): none of it stays, in the tree either.
        QTest::newRow("refused") << Escapes << QStringList() << "Macros of";
        QTest::newRow("separators in names")
            << data + "separators.mmacro" << QStringList{"Fine/ok|0|kept"} << QString();
        const QString odd =
            "Odd/absurd|0|a Odd/again|0|same@section@twice Odd/dup|67108929|second "
            "Odd/empty|0| Odd/hexa|0| Odd/max|2147483647| Odd/negative|-1| Odd/word|0|";
        QTest::newRow("odd keys") << data + "hostile-keys.mmacro"
                                  << odd.split(' ').replaceInStrings("@", " ") << QString();
        // Half of a surrogate pair, by hex and by octal escape, comes in as U+FFFD.
        const QString replaced(QChar::ReplacementCharacter);
        QTest::newRow("lone surrogates")
            << data + "surrogates.mmacro"
            << QStringList{"Half/h|0|a" + replaced + "z", "Half/o|0|" + replaced} << QString();
        // The second is tested against the first one's name: the question comes, and is cancelled.
        QTest::newRow("one name in two letter cases")
            << data + "letter-case.mmacro" << QStringList{"LETTERS/b|0|two"}
            << "Master Macro with name \"Letters\" exists";
    }
    void hostileFilesLeaveTheStoreSound()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, added);
        QFETCH(QString, warning);
        const QStringList base = TestEnvironment::storeDump();
        {
            const bool refused = warning == "Macros of";
            FileSizeLimit full(refused ? QFile(m_window->store().fileName()).size() : 1 << 30);
            import(path);
        }
        QCOMPARE(m_dialogs->asked.size(), warning.isEmpty() ? 1 : 2);
        QVERIFY(m_dialogs->asked.last().contains(warning));
        QStringList stored = TestEnvironment::storeDump();
        stored.removeIf([&base](const QString &note) { return base.contains(note); });
        stored.sort();
        QCOMPARE(stored, added);
        // What the tree shows is what the store holds, and ticking it survives odd codes.
        QCOMPARE(treeDump().size(), 5 + added.size() + !added.isEmpty());
        QTreeWidgetItem *last = m_tree->topLevelItem(m_tree->topLevelItemCount() - 1);
        last->setCheckState(0, Qt::Checked);
        QList<int> codes{added.isEmpty() ? CtrlAltA : 0}; // Work's, when nothing came in
        for (const QString &note : added)
            codes << note.section('|', 1, 1).toInt();
        codes.removeAll(0);
        codes.erase(std::unique(codes.begin(), codes.end()), codes.end()); // each combination once
        QCOMPARE(m_app->live().name(), last->text(0));
        QCOMPARE(m_app->keys().liveCodes(), codes);
    }

    // Another program's file: its summary first, then one change of the store, or none.
    void snippetFilesAfterTheirSummary_data()
    {
        QTest::addColumn<QString>("csv");
        QTest::addColumn<bool>("accept");       // the summary's answer
        QTest::addColumn<QStringList>("names"); // answers to the new-name question
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QString>("said");   // the summary, or the warning, in part
        QTest::addColumn<QString>("choose"); // "column=what it holds" in the summary, or ""
        const QString csv = "name;text;master macro;hot key\nx;\"a\nb\";Work;Ctrl+Alt+B\n"
                            "y;c;New;\n";
        QTest::newRow("imported, a clash renamed")
            << csv << true << QStringList{"Work 2"}
            << QStringList{"New/y|0|c",
                           "Work 2/x|" +
                               QString::number((Qt::CTRL | Qt::ALT | Qt::Key_B).toCombined()) +
                               "|a\nb"}
            << "Master Macros: 2\nNotes: 2\nHot keys kept: 1\n"
               "Work|x|Ctrl+Alt+B||a\u21b5b\nNew|y|||c"
            << "";
        QTest::newRow("summary cancelled")
            << csv << false << QStringList() << QStringList() << "Notes: 2"
            << "";
        QTest::newRow("clash question cancelled, nothing after it")
            << csv << true << QStringList{QString()} << QStringList() << "Notes: 2"
            << "";
        // Without a header the columns are guessed; what the user chooses counts.
        const QString bare = "Letter;\"Dear Sir, bye\";Mail\nReply;Thanks;Mail\n";
        QTest::newRow("column chosen")
            << bare << true << QStringList()
            << QStringList{"Mail/Letter|0|Dear Sir, bye", "Mail/Reply|0|Thanks"}
            << "Master Macros: 1\nNotes: 2\nHot keys kept: 0\nMail|Letter|||Dear Sir, bye"
            << "column3=Master Macro";
        QTest::newRow("header chosen")
            << bare << true << QStringList() << QStringList{"table/Reply|0|Thanks"} << "Notes: 1\n"
            << "header=1";
        QTest::newRow("no text column, nothing to import")
            << bare << true << QStringList() << QStringList() << "Notes: 0"
            << "column2=(not imported)";
        QTest::newRow("broken file")
            << "x;\"open\n"
            << true << QStringList() << QStringList()
            << "could not be imported; reading stopped at line 1: A quoted field is not closed. "
               "Nothing was imported."
            << "";
        QTest::newRow("a FIFO, never waited on")
            << "<fifo>" << true << QStringList() << QStringList()
            << "could not be imported: It is not a regular file (it is a pipe, a device or a "
               "socket), so it was not read. Nothing was imported."
            << "";
    }
    void snippetFilesAfterTheirSummary()
    {
        QFETCH(QString, csv);
        QFETCH(bool, accept);
        QFETCH(QString, said);
        QFETCH(QStringList, names);
        QFETCH(QString, choose);
        const QString path = m_dir.filePath("table.csv");
        QFile::remove(path);
        QFile file(path);
        if (csv == "<fifo>")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(csv.toUtf8()) > 0);
        file.close();
        const QStringList before = TestEnvironment::storeDump();
        QString shown;
        ModalAnswerer answerer;
        answerer.expect([&](QWidget *dialog) {
            const QString what = choose.section('=', 1);
            if (choose.startsWith("header"))
                dialog->findChild<QCheckBox *>()->setChecked(what == "1");
            else if (!choose.isEmpty())
                dialog->findChild<QComboBox *>(choose.section('=', 0, 0))->setCurrentText(what);
            shown = dialog->findChild<QPlainTextEdit *>()->toPlainText();
            // The first notes as they would come in: master macro, name, keys, abbreviation, text.
            for (QTreeWidgetItemIterator it(dialog->findChild<QTreeWidget *>()); *it; ++it)
                shown += "\n" + QStringList{(*it)->text(0), (*it)->text(1), (*it)->text(2),
                                            (*it)->text(3), (*it)->text(4)}
                                    .join('|');
            auto *buttons = dialog->findChild<QDialogButtonBox *>();
            QPushButton *ok = buttons->button(QDialogButtonBox::Ok);
            (accept && ok->isEnabled() ? ok : buttons->button(QDialogButtonBox::Cancel))->click();
        });
        m_dialogs->names = names;
        import(path);
        if (said.contains("Nothing"))
            QVERIFY2(m_dialogs->asked.last().contains(said), qPrintable(m_dialogs->asked.last()));
        else
            QVERIFY2(shown.contains(said), qPrintable(shown));
        QStringList stored = TestEnvironment::storeDump();
        stored.removeIf([&before](const QString &note) { return before.contains(note); });
        stored.sort();
        QTEST(stored, "added");
        QSet<QString> masters;
        for (const QString &note : std::as_const(stored))
            masters.insert(note.section('/', 0, 0));
        QCOMPARE(treeDump().size(), 5 + stored.size() + masters.size());
    }

    // Reading runs in a worker thread while the window stays live; its Cancel, once the
    // progress dialog is up, ends the reading and the import.
    void readingLeavesTheWindowLive_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("read to its end") << false;
        QTest::newRow("cancelled") << true;
    }
    void readingLeavesTheWindowLive()
    {
        QFETCH(bool, cancel);
        ModalAnswerer answerer;
        answerer.expect([](QWidget *dialog) {
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
        });
        std::atomic<bool> inWorker = false;
        const auto reading = [&](ImportBatch &batch) {
            inWorker = QThread::currentThread() != QCoreApplication::instance()->thread();
            while (cancel && !batch.cancelled())
                QThread::msleep(1);
            batch.addNote(batch.master("M"), "n", 0, "t");
        };
        ImportBatch batch;
        QCOMPARE(ImportProgressDlg::run("file", reading, m_window, &batch), !cancel);
        QVERIFY(inWorker);
        QCOMPARE(batch.summary().notes, cancel ? 0 : 1);
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
        QFile old(path);
        QVERIFY(target != "full.mmacro" || (old.open(QIODevice::WriteOnly) && old.write("old")));
        old.close();
        const QByteArray before = TestEnvironment::fileBytes(path);
        {
            FileSizeLimit full(target == "full.mmacro" ? 10 : 1 << 30);
            QVERIFY(!exportTo(path));
        }
        QCOMPARE(m_dialogs->asked.size(), 2);
        QVERIFY(m_dialogs->asked.last().contains("could not be written to"));
        QCOMPARE(TestEnvironment::fileBytes(path), before);
    }

    // A step ticks ("+") or unticks ("-") a row of the export dialog, its content box with "#1";
    // "All" and "None" press "Select All" and "De-Select All".
    void exportFollowsTheTicks_data()
    {
        QTest::addColumn<QString>("steps");
        // The ticks of Home, h, Work, bye and hello ("x" or "-", a note's content box second),
        // then the notes written, with "=text" where the file holds a text.
        QTest::addColumn<QString>("after");
        const auto row = [](const char *tag, const char *steps, const char *after) {
            QTest::newRow(tag) << QString(steps) << QString(after);
        };
        row("content box unticked", "-hello#1",
            "x xx x xx x- | Home/h=Home Work/bye=Bye Work/hello");
        row("a note ticks its master, and that all its notes", "-hello#1 -Work +bye",
            "x xx x xx xx | Home/h=Home Work/bye=Bye Work/hello=Hello");
        row("unticked notes keep their master", "-bye -hello", "x xx x -x -x | Home/h=Home");
        row("Select All", "-Home -hello All", "x xx x xx -x | Home/h=Home Work/bye=Bye");
        row("De-Select All", "-Home +h#1 None", "- -x - -- -- |");
    }
    void exportFollowsTheTicks()
    {
        QFETCH(QString, steps);
        ExportDlg dialog(m_window->store(), *m_dialogs);
        auto *tree = dialog.findChild<QTreeWidget *>("treeMacros");
        for (const QString &step : steps.split(' ')) {
            const char *button = step == "All" ? "btnSelectAll" : "btnDeselectAll";
            if (step == "All" || step == "None")
                dialog.findChild<QPushButton *>(button)->click();
            else
                tree->findItems(step.mid(1).section('#', 0, 0), Qt::MatchRecursive)
                    .first()
                    ->setCheckState(step.endsWith("#1"),
                                    step[0] == '+' ? Qt::Checked : Qt::Unchecked);
        }
        const QString path = m_dir.filePath(QTest::currentDataTag() + QString(".mmacro"));
        QVERIFY(exportTo(path, &dialog));
        QStringList after;
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            after << QString((*it)->checkState(0) ? "x" : "-") +
                         ((*it)->parent() ? (*it)->checkState(1) ? "x" : "-" : "");
        after << "|";
        QSettings file(path, QSettings::IniFormat);
        for (const QString &key : file.allKeys().filter("/shortcut")) {
            const QString text = key.section('/', 0, 2) + "/text";
            after << key.section('/', 0, 0) + '/' + key.section('/', 2, 2) +
                         (file.contains(text) ? '=' + file.value(text).toString() : QString());
        }
        QTEST(after.join(' '), "after");
    }
};

QTEST_MAIN(TestExchange)
#include "tst_exchange.moc"
