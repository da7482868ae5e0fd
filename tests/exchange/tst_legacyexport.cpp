// Master macro files of the older platform's settings layer (Qt 5, no codec): texts with any
// characters come in exactly and go out again byte for byte as that layer wrote them, so that
// older readers read them exactly too.
#include "exchange/exportdlg.h"
#include "exchange/masterimporter.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include <QtTest>

namespace {

const QString Master = QStringLiteral("Legacy");
// Note name and text: accents, the euro sign, an emoji (a surrogate pair), hex digits right
// after non-ASCII letters, the INI format's own characters, line breaks, edge spaces.
const QList<QPair<QString, QString>> Notes = {
    {QStringLiteral("Accents"), QStringLiteral("Crème brûlée, naïve Zoë, Ångström")},
    {QStringLiteral("Café"), QStringLiteral("Café – 5 € 😀")},
    {QStringLiteral("Hex digits"), QStringLiteral("é1 éa éF €0 😀b ü")},
    {QStringLiteral("Lines"), QStringLiteral("one\ntwo\r\n\tthree\n")},
    {QStringLiteral("Separators"), QStringLiteral("a=b; c, \"quoted\" back\\slash \\xe9")},
    {QStringLiteral("Spaces"), QStringLiteral(" é ")},
};

} // namespace

class TestLegacyExport final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void crossesBothWaysExactly()
    {
        if (QByteArray(KEYQUILL_QT5INI).isEmpty())
            QSKIP("Qt 5 (qtbase5-dev) was not found when the tests were configured");
        const QString qt5 = m_dir.filePath("qt5.mmacro");
        QProcess writer;
        writer.start(KEYQUILL_QT5INI, {qt5});
        for (const auto &[note, text] : Notes) {
            const QString key = Master + "/Macros/" + note;
            writer.write(QUrl::toPercentEncoding(key + "/shortcut") + " 0\n" +
                         QUrl::toPercentEncoding(key + "/text") + ' ' +
                         QUrl::toPercentEncoding(text) + '\n');
        }
        writer.closeWriteChannel();
        QVERIFY(writer.waitForFinished(30000) && writer.exitCode() == 0);

        MacroStore store;
        MasterMacroImporter importer(store, [](const QString &) { return QString(); });
        QCOMPARE(importer.run(qt5), MasterMacroImporter::Outcome::Finished);
        for (const auto &[note, text] : Notes)
            QCOMPARE(store.note(Master, note).text, text);

        ScriptedDialogs dialogs;
        dialogs.files = {m_dir.filePath("export.mmacro")};
        ExportDlg(store, dialogs).accept();
        QCOMPARE(TestEnvironment::fileBytes(m_dir.filePath("export.mmacro")),
                 TestEnvironment::fileBytes(qt5));
    }
};

QTEST_MAIN(TestLegacyExport)
#include "tst_legacyexport.moc"
