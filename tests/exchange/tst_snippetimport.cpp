// The readers of other snippet programs' files, without windows: small files written here, the
// master macros and notes they give, what the summary says, and where a broken file stops.
#include "exchange/espansoreader.h"
#include "exchange/snippetfiles.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

const QString CtrlAltA = QString::number((Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined());
const QString CtrlAltH = QString::number((Qt::CTRL | Qt::ALT | Qt::Key_H).toCombined());
const QString ShiftF5 = QString::number((Qt::SHIFT | Qt::Key_F5).toCombined());

const char *const EspansoDefault = R"(# espanso match file
# Matches are substitution rules: the trigger is replaced by the replace text.
global_vars:
  - name: clip
    type: clipboard

matches:
  # Simple text replacement
  - trigger: ":espanso"
    replace: "Hi there!"

  # The current date
  - trigger: ":date"
    replace: "{{mydate}}"
    vars:
      - name: mydate
        type: date
        params:
          format: "%m/%d/%Y"

  # The output of a shell command
  - trigger: ":shell"
    replace: "{{output}}"
    vars:
      - name: output
        type: shell
        params:
          cmd: "echo 'Hello from your shell'"

  - triggers: [":sig", ":signature"]
    label: "Signature"
    replace: |
      Best regards,
      Jane $|$
  - trigger: ":paste"
    replace: "Copied: {{clip}}, at {{now}}; {{ kept }} {{unknown}}"
    vars:
      - name: now
        type: date
        params:
          format: "%-d %B at %H:%M"
  - trigger: ":me"
    replace: "I am {{who}}"
    vars:
      - name: who
        type: echo
        params:
          echo: "Jane {{x}}"
  - trigger: ":espanso"
    replace: "again"
  - trigger: ":a/b"
    replace: "slash"
  - trigger: ":day"
    replace: "{{d}}"
    vars:
      - name: d
        type: date
        params:
          format: "%j"
  - label: "Lab"
    replace: "z"
  - regex: ":(?P<n>\\d+)x"
    replace: "{{n}}"
  - trigger: ":form"
    form: "Hi [[name]], {{x}}"
  - trigger: ":tomorrow"
    replace: "{{t}} {{y}} {{w}}"
    vars:
      - {name: t, type: date, params: {format: "%Y-%m-%d", offset: 86400}}
      - {name: y, type: date, params: {offset: -172800}}
      - {name: w, type: date, params: {format: "%d", offset: 0}}
  - trigger: ":hour"
    replace: "{{h}}"
    vars:
      - {name: h, type: date, params: {format: "%H", offset: 3600}}
  - trigger: ":fields"
    replace: "Dear {{f.name}} of {{f.city}}, {{ f.name }}; {{clip.x}}"
    vars:
      - name: f
        type: form
        params:
          layout: "Name [[name]] City [[city]]"
          fields: {name: {multiline: true}, city: {type: text, default: Rome}}
  - trigger: ":choice"
    replace: "{{c.pick}}"
    vars:
      - {name: c, type: form, params: {layout: "[[pick]]", fields: {pick: {type: choice}}}}
  - trigger: ":list"
    form: "[[l]]"
    form_fields: {l: {type: list, values: [a, b]}}
)";

const char *const Beeftext = R"({
  "fileFormatVersion": 8,
  "groups": [
    {"uuid": "{1f0c}", "name": "Mail", "description": "Letters"},
    {"uuid": "{2e1d}", "name": "Code", "description": ""}
  ],
  "combos": [
    {"uuid": "{a}", "name": "Signature", "keyword": "sig", "group": "{1f0c}", "enabled": true,
     "snippet": "Regards,\n#{input:Your name}"},
    {"uuid": "{b}", "name": "", "keyword": "addr", "group": "{1f0c}", "enabled": false,
     "snippet": "#{clipboard} on #{dateTime:yyyy-MM-dd} #{dateTime}"},
    {"uuid": "{c}", "name": "Stamp", "keyword": "td", "group": "{2e1d}",
     "snippet": "#{date} #{time}#{cursor}"},
    {"uuid": "{d}", "name": "Ref", "keyword": "ref", "group": "{2e1d}",
     "snippet": "See #{combo:sig} and #{combo:addr} #{combo:td} #{combo:run}"},
    42, "text", {"name": "no snippet", "keyword": "none"},
    {"uuid": "{e}", "name": "Loose", "keyword": "loose",
     "snippet": "#{combo:cy}{{literal}} #{broken"},
    {"uuid": "{f}", "name": "Run", "keyword": "run", "group": "{2e1d}",
     "snippet": "#{powershell:C:\\x.ps1}"},
    {"uuid": "{g}", "name": "Later", "keyword": "later", "group": "{2e1d}",
     "snippet": "#{dateTime:+1d:yyyy}"},
    {"uuid": "{h}", "name": "", "keyword": "cy", "group": "{1f0c}", "snippet": "y#{combo:cz}"},
    {"uuid": "{i}", "name": "", "keyword": "cz", "group": "{2e1d}", "snippet": "z#{combo:cy}"}
  ]
})";

QByteArray phrase(const char *description, const char *modifiers, const char *key,
                  const char *type = "phrase", const char *abbreviations = R"("adr")")
{
    return QStringLiteral(R"({"usageCount": 0, "omitTrigger": false, "prompt": false,
 "description": "%1", "abbreviation": {"wordChars": "[\\w]", "abbreviations": [%5],
 "immediate": false, "ignoreCase": false, "backspace": true, "triggerInside": false},
 "hotkey": {"modifiers": [%2], "hotKey": %3}, "modes": [1, 3], "showInTrayMenu": false,
 "matchCase": false, "filter": {"regex": null, "isRecursive": false}, "type": "%4",
 "sendMode": "kb"})")
        .arg(description, modifiers, key, type, abbreviations)
        .toUtf8();
}

} // namespace

class TestSnippetImport final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Writes "path", "content", ... below a fresh folder; the first path is the one imported.
    // The content "<fifo>" makes a FIFO, "<link TARGET>" a symbolic link.
    QString write(const QStringList &files)
    {
        const QString root = m_dir.filePath(QTest::currentDataTag());
        for (qsizetype i = 0; i + 1 < files.size(); i += 2) {
            const QString path = root + '/' + files.at(i);
            const QString content = files.at(i + 1);
            QDir().mkpath(QFileInfo(path).absolutePath());
            if (content == "<fifo>" && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0)
                continue;
            if (content.startsWith("<link ") && QFile::link(content.mid(6).chopped(1), path))
                continue;
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(files.at(i + 1).toUtf8()) < 0)
                return {};
        }
        return root + '/' + files.first();
    }

private Q_SLOTS:
    void filesGiveMastersAndNotes_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("notes"); // "master/note|code|text", in reading order
        QTest::addColumn<QStringList>("summary");
        QTest::newRow("espanso default")
            << QStringList{"base.yml", EspansoDefault}
            << QStringList{"base/:espanso|0|Hi there!|:espanso",
                           "base/:date|0|{{date:MM/dd/yyyy}}|:date",
                           "base/:sig|0|Best regards,\nJane {{cursor}}\n|:sig",
                           "base/:paste|0|Copied: {{clipboard}}, at {{date:d MMMM' at 'HH:mm}}; "
                           "{{{{ kept }} {{{{unknown}}|:paste",
                           "base/:me|0|I am Jane {{{{x}}|:me",
                           "base/:espanso (2)|0|again|:espanso",
                           "base/:a\u2215b|0|slash|:a/b",
                           "base/Lab|0|z",
                           "base/:form|0|Hi {{input:name}}, {{{{x}}|:form",
                           "base/:tomorrow|0|{{date:yyyy-MM-dd:+1d}} {{date::-2d}} {{date:dd}}|"
                           ":tomorrow",
                           "base/:fields|0|Dear {{input:name}} of {{input:city}}, {{input:name}}; "
                           "{{{{clip.x}}|:fields"}
            << QStringList{"Master Macros: 1",
                           "Notes: 11",
                           "Notes renamed",
                           "Abbreviations kept: 9",
                           "abbreviations another note of the Master Macro holds: 1",
                           "matches using a shell variable: 1",
                           "matches with a form of choices or lists: 2",
                           "matches with a regular expression: 1",
                           "matches with a date format without equivalent: 1",
                           "matches with a date offset other than whole days: 1",
                           "triggers after the first of a match: 1"};
        QTest::newRow("Beeftext, two groups")
            << QStringList{"export.json", Beeftext}
            << QStringList{"Mail/Signature|0|Regards,\n{{input:Your name}}|sig",
                           "Mail/addr|0|{{clipboard}} on {{date:yyyy-MM-dd}} {{date}} "
                           "{{time}}|addr",
                           "Mail/cy|0|yz{{note:cy}}|cy",
                           "Code/Stamp|0|{{date}} {{time}}{{cursor}}|td",
                           "Code/Ref|0|See Regards,\n{{input:Your name}} and {{clipboard}} on "
                           "{{date:yyyy-MM-dd}} {{date}} {{time}} {{note:Stamp}} {{note:run}}|ref",
                           "Code/cz|0|zy{{note:cz}}|cz",
                           // Taken in through two other groups, cy would take itself in.
                           "export/Loose|0|yz{{note:cy}}{{{{literal}} #{broken|loose"}
            << QStringList{"Master Macros: 3",
                           "Notes: 7",
                           "Abbreviations kept: 7",
                           "combos using #{powershell}: 1",
                           "combos using #{dateTime}: 1",
                           "entries of \"combos\" that are not combos: 3",
                           "combos naming a combo that cannot be taken in (#{combo:...} kept as "
                           "{{note:...}}): 2"};
        QTest::newRow("AutoKey folder")
            << QStringList{"My Phrases/Home Address.txt",
                           "1 Main St\n<cursor>{{x}}",
                           "My Phrases/.Home Address.json",
                           phrase("Home Address", R"("<ctrl>", "<alt>")", R"("h")"),
                           "My Phrases/.folder.json",
                           R"({"title": "Phrases", "type": "folder"})",
                           "My Phrases/.win.json",
                           phrase("Win", R"("<super>")", R"("w")"),
                           "My Phrases/win.txt",
                           "super",
                           "My Phrases/.f5.json",
                           phrase("Five", R"("<shift>")", R"("<f5>")", "phrase", R"("f", "v")"),
                           "My Phrases/f5.txt",
                           "<pre></pre><left><left><enter>five<page_up><ctrl>+v<Left><delete>"
                           "<backspace><home><up><down><right><end><tab><escape>",
                           "My Phrases/.tab.json",
                           phrase("Tab", R"("<ctrl>")", R"("<tab>")", "phrase", ""),
                           "My Phrases/tab.txt",
                           "tab",
                           "My Phrases/.run.json",
                           phrase("Run", "", "null", "script"),
                           "My Phrases/run.py",
                           "print(1)",
                           "My Phrases/.f13.json",
                           phrase("F13", R"("<ctrl>")", R"("<f13>")"),
                           "My Phrases/f13.txt",
                           "f13",
                           "My Phrases/.pipe.json",
                           phrase("Pipe", "", "null"),
                           "My Phrases/pipe.txt",
                           "<fifo>",
                           "My Phrases/Sub/.s.json",
                           phrase("", "", "null"),
                           "My Phrases/Sub/s.txt",
                           "inner",
                           "My Phrases/Sub/up",
                           "<link ..>"}
            << QStringList{"Phrases/F13|0|f13|adr",
                           "Phrases/Five|" + ShiftF5 +
                               "|<pre></pre>{{key:Left}}{{key:Left}}{{key:Return}}five<page_up>"
                               "<ctrl>+v<Left>{{key:Delete}}{{key:Backspace}}{{key:Home}}"
                               "{{key:Up}}{{key:Down}}{{key:Right}}{{key:End}}{{key:Tab}}"
                               "{{key:Escape}}|f",
                           "Phrases/Home Address|" + CtrlAltH + "|1 Main St\n{{cursor}}{{{{x}}|adr",
                           "Phrases/Tab|0|tab",
                           "Phrases/Win|0|super|adr",
                           "Sub/s|0|inner|adr"}
            << QStringList{"Master Macros: 2",
                           "Hot keys kept: 2",
                           "Abbreviations kept: 3",
                           "abbreviations another note of the Master Macro holds: 2",
                           "abbreviations after the first of a phrase: 1",
                           "Kept as written, without an equivalent:\n  AutoKey key <ctrl>: 1\n"
                           "  AutoKey key <page_up>: 1",
                           "hot keys Keyquill does not offer: 3",
                           "scripts: 1",
                           "phrases that are not regular files: 1"};
        QTest::newRow("CSV, header, quotes and line breaks")
            << QStringList{"notes.csv", "\ufeffHot key;Text;Name;Master Macro\r\n"
                                        "Ctrl+Alt+A;\"Dear \"\"Sir\"\";\r\nbye\";Letter;Mail\r\n"
                                        "ctrl+alt+a;second;Other;Mail\r\n"
                                        "Meta+A;x;Meta;\r\n"
                                        ";;;\r\n"
                                        "Alt+F12;\"{{date}}\";Today;\r\n"}
            << QStringList{"Mail/Letter|" + CtrlAltA + "|Dear \"Sir\";\nbye", "Mail/Other|0|second",
                           "notes/Meta|0|x",
                           "notes/Today|" + QString::number((Qt::ALT | Qt::Key_F12).toCombined()) +
                               "|{{date}}"}
            << QStringList{"Master Macros: 2", "Notes: 4", "Hot keys kept: 2",
                           "hot keys another note of the Master Macro holds: 1",
                           "hot keys Keyquill does not offer: 1"};
        QTest::newRow("CSV without header, commas")
            << QStringList{"plain.csv", "a,\"x, y\"\nb,\"\"\n,\na\\b,c\n"}
            << QStringList{"plain/a|0|x, y|a", "plain/b|0||b", "plain/a\u2216b|0|c|a\\b"}
            << QStringList{"Notes: 3"};
        // Other programs' layouts, named by their header or guessed without it.
        // Each with its header and, where `bare`, without it too; no header: only without.
        const auto layout = [](const char *tag, const QString &header, const QString &body,
                               const QStringList &notes, bool bare = true) {
            for (const bool named : {true, false}) {
                if (named ? !header.isEmpty() : bare)
                    QTest::addRow("CSV, %s%s", tag, named ? "" : ", no header")
                        << QStringList{"t.csv", (named ? header + '\n' : QString()) + body} << notes
                        << QStringList{QString("Notes: %1").arg(notes.size())};
            }
        };
        layout("TextExpander", "abbreviation,content,label",
               ";sig,\"Best regards,\nJane\",Signature\n;web,https://example.com/a,Site\n"
               ";addr,\"1 Main St, Springfield\",Address\n",
               {"t/Signature|0|Best regards,\nJane|;sig", "t/Site|0|https://example.com/a|;web",
                "t/Address|0|1 Main St, Springfield|;addr"});
        layout("Alfred", "name,keyword,snippet",
               "Email signature,sig,\"Best regards, Jane\"\nWeb,web,https://example.com/a\n"
               "Address,addr,\"1 Main St, Springfield\"\n",
               {"t/Email signature|0|Best regards, Jane|sig", "t/Web|0|https://example.com/a|web",
                "t/Address|0|1 Main St, Springfield|addr"});
        layout("Beeftext", "keyword,snippet,name",
               "sig,\"Regards, Jane\",Signature\nweb,https://example.com/a,Web\n"
               "addr,\"1 Main St, Springfield\",Address\n",
               {"t/Signature|0|Regards, Jane|sig", "t/Web|0|https://example.com/a|web",
                "t/Address|0|1 Main St, Springfield|addr"});
        layout("command and expansion", "command,expansion", "brb,be right back\nomw,on my way\n",
               {"t/brb|0|be right back|brb", "t/omw|0|on my way|omw"});
        layout("a shortcut that is no hot key", "shortcut,phrase", "omw,On my way!\n",
               {"t/omw|0|On my way!|omw"}, false);
        layout("a shortcut that is a hot key", "name,text,shortcut", "x,y,Ctrl+Alt+A\n",
               {"t/x|" + CtrlAltA + "|y"}, false);
        // Words Keyquill does not know: short ones above texts are a header all the same.
        layout("unknown header", "K\u00fcrzel;Inhalt;Bezeichnung",
               "mfg;\"Mit freundlichen Gr\u00fc\u00dfen\nJane\";Gru\u00df\n"
               "adr;Hauptstra\u00dfe 1, Berlin;Adresse\n",
               {"t/Gru\u00df|0|Mit freundlichen Gr\u00fc\u00dfen\nJane|mfg",
                "t/Adresse|0|Hauptstra\u00dfe 1, Berlin|adr"},
               false);
        layout("a note named like a header word", "",
               "Note,\"Please call me back, thanks\"\nsig,\"Best regards, Jane\"\n",
               {"t/Note|0|Please call me back, thanks|Note", "t/sig|0|Best regards, Jane|sig"});
        layout("own layout", "", // master macros repeat, hot keys look like hot keys
               "Letter,\"Dear Sir, bye\",Mail,Ctrl+Alt+A\nReply,Thanks,Mail,\n"
               "Stamp,Done on {{date}},Code,Alt+F12\nSign,Jane Doe,Mail,\n",
               {"Mail/Letter|" + CtrlAltA + "|Dear Sir, bye|Letter", "Mail/Reply|0|Thanks|Reply",
                "Mail/Sign|0|Jane Doe|Sign",
                "Code/Stamp|" + QString::number((Qt::ALT | Qt::Key_F12).toCombined()) +
                    "|Done on {{date}}|Stamp"});
    }
    void filesGiveMastersAndNotes()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, notes);
        const ImportBatch batch = SnippetFiles::read(write(files));
        const ImportSummary said = batch.summary();
        QVERIFY2(!said.failed(), qPrintable(said.error));
        QStringList found;
        const QList<QStringList> abbreviations = batch.abbreviations();
        const QList<MacroStore::Master> masters = batch.masters();
        for (qsizetype m = 0; m < masters.size(); ++m) {
            for (qsizetype n = 0; n < masters.at(m).notes.size(); ++n) {
                const MacroStore::Note &note = masters.at(m).notes.at(n);
                const QString abbreviation = abbreviations.at(m).at(n);
                found << masters.at(m).name + '/' + note.name + '|' + QString::number(note.code) +
                             '|' + note.text +
                             (abbreviation.isEmpty() ? QString() : '|' + abbreviation);
            }
        }
        // The order of a folder's files is the file system's business.
        if (QByteArray(QTest::currentDataTag()).startsWith("AutoKey"))
            found.sort();
        QCOMPARE(found, notes);
        const QString lines = said.lines().join('\n');
        QFETCH(QStringList, summary);
        for (const QString &line : summary)
            QVERIFY2(lines.contains(line), qPrintable(lines));
    }

    void brokenFilesStopAtTheirLine_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("line");
        QTest::newRow("YAML, bad indentation")
            << QStringList{"a.yml", "matches:\n  - trigger: \":a\"\n   replace: \"x\"\n"
                                    "  - trigger: :b\n    replace: y\n"}
            << "not valid YAML" << 3;
        QTest::newRow("YAML, no matches")
            << QStringList{"b.yml", "backend: Clipboard\n"} << "no \"matches:\" list" << 1;
        QTest::newRow("YAML, match not a map")
            << QStringList{"c.yml", "matches:\n  - trigger: a\n    replace: b\n  - plain\n"}
            << "not a list of keys" << 4;
        QTest::newRow("YAML, not UTF-8")
            << QStringList{"d.yml", QString::fromLatin1("matches:\n  - trigger: a\n")} << QString()
            << 0;
        QTest::newRow("JSON, cut short")
            << QStringList{"e.json", "{\n  \"combos\": [\n    {\"keyword\": \"a\",\n"}
            << "not valid JSON" << 4;
        QTest::newRow("JSON, no combos")
            << QStringList{"f.json", "{\"groups\": []}"} << "no \"combos\" list" << 1;
        QTest::newRow("AutoKey, broken description")
            << QStringList{"P/a.txt", "a", "P/.a.json", "{\n\"type\": \"phrase\",\n\"x\" 1}"}
            << ".a.json: The file is not valid JSON" << 3;
        QTest::newRow("AutoKey, no phrases") << QStringList{"Q/a.txt", "a"} << "no phrases" << 0;
        // Past the caps (made small here): the line where reading stopped.
        const QString repeated = "t: &t \"" + QString(100, 'x') + "\"\nmatches:\n" +
                                 QString("- {trigger: a, replace: *t}\n").repeated(20);
        QTest::newRow("YAML, aliases repeat a text")
            << QStringList{"i.yml", repeated} << "aliases (*name) repeat more than 1 KiB" << 13;
        QTest::newRow("YAML, too many items")
            << QStringList{"j.yml", "matches:\n- [" + QString("a, ").repeated(300) + "]\n"}
            << "more than 200 YAML items" << 2;
        QTest::newRow("YAML, nested too deep")
            << QStringList{"k.yml", "matches:\n- " + QString("[").repeated(3000)} << "nest deeper"
            << 2;
        QTest::newRow("CSV, larger than the cap")
            << QStringList{"l.csv", "a;" + QString(5000, 'b')} << "larger than 4 KiB" << 0;
        QTest::newRow("CSV, more rows than the cap")
            << QStringList{"n.csv", QString("a,b\n").repeated(40) + "c"} << "more than 30 rows"
            << 31;
        QTest::newRow("CSV, a FIFO") << QStringList{"m.csv", "<fifo>"} << "not a regular file" << 0;
        QTest::newRow("CSV, open quote")
            << QStringList{"g.csv", "a,b\nc,\"d\ne,f\n"} << "not closed" << 2;
        QTest::newRow("CSV, text after quote")
            << QStringList{"h.csv", "a,b\nc,\"d\n\"e\n"} << "follows a closing quote" << 3;
    }
    void brokenFilesStopAtTheirLine()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, error);
        QFETCH(int, line);
        QString path = write(files);
        if (error.isEmpty()) {
            // Bytes that are no UTF-8 at all, on the third line.
            QFile file(path);
            QVERIFY(file.open(QIODevice::Append) && file.write("    replace: \xe9t\xe9\n") > 0);
            file.close();
            error = "not UTF-8";
            line = 3;
        }
        ImportBatch batch;
        ImportBatch::Limits limits;
        limits.fileBytes = 4096;
        limits.yaml.items = 200;
        limits.yaml.repeated = 1024;
        limits.rows = 30;
        batch.setLimits(limits);
        SnippetFiles::read(path, batch);
        QVERIFY2(batch.summary().error.contains(error), qPrintable(batch.summary().error));
        QCOMPARE(batch.summary().errorLine, line);
    }
};

QTEST_GUILESS_MAIN(TestSnippetImport)
#include "tst_snippetimport.moc"
