// Exported files and the older platform's settings layer (Qt 5, no codec): texts with any
// characters cross both ways exactly.
#include "exchange/exportdlg.h"
#include "exchange/masterimporter.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include <algorithm>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Master = QStringLiteral("Legacy");
// Note name and text: accents, the euro sign, an emoji (a surrogate pair), hex digits right
// after non-ASCII letters, the INI format's own characters, line breaks, edge spaces. In the
// settings layer's key order.
const QList<QPair<QString, QString>> Notes = {
    {QStringLiteral("Accents"), QStringLiteral("Crème brûlée, naïve Zoë, Ångström")},
    {QStringLiteral("Café"), QStringLiteral("Café – 5 € 😀")},
    {QStringLiteral("Hex digits"), QStringLiteral("é1 éa éF €0 😀b ü")},
    {QStringLiteral("Lines"), QStringLiteral("one\ntwo\r\n\tthree\n")},
    {QStringLiteral("Separators"), QStringLiteral("a=b; c, \"quoted\" back\\slash \\xe9")},
    {QStringLiteral("Spaces"), QStringLiteral(" é ")},
};

QString key(const QString &note, const char *name)
{
    return QStringLiteral("%1/Macros/%2/%3").arg(Master, note, QLatin1String(name));
}

// Runs the Qt 5 helper; its output, or a marker that cannot match when it failed.
QByteArray qt5ini(const char *mode, const QString &path, const QByteArray &input = {})
{
#ifdef KEYQUILL_QT5INI
    QProcess helper;
    helper.start(QStringLiteral(KEYQUILL_QT5INI), {QLatin1String(mode), path});
    helper.write(input);
    helper.closeWriteChannel();
    if (helper.waitForFinished(30000) && helper.exitStatus() == QProcess::NormalExit &&
        helper.exitCode() == 0)
        return helper.readAllStandardOutput();
#endif
    return QByteArrayLiteral("(qt5ini failed)");
}

// The notes as the helper reads and writes them: "key value" lines, percent-encoded.
QByteArray helperLines()
{
    QByteArray lines;
    for (const auto &[note, text] : Notes)
        lines += QUrl::toPercentEncoding(key(note, "shortcut")) + " 0\n" +
                 QUrl::toPercentEncoding(key(note, "text")) + ' ' + QUrl::toPercentEncoding(text) +
                 '\n';
    return lines;
}

} // namespace

class TestLegacyExport final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    QTemporaryDir m_dir;

    QByteArray exportAll() // the exported file's bytes
    {
        const QString path = m_dir.filePath(QStringLiteral("export.mmacro"));
        MacroStore store;
        ScriptedDialogs dialogs;
        dialogs.files = {path};
        ExportDlg dialog(store, dialogs);
        dialog.accept();
        return dialog.result() == QDialog::Accepted ? TestEnvironment::fileBytes(path)
                                                    : QByteArray();
    }

private Q_SLOTS:
    void init()
    {
        TestEnvironment::clearStore();
        for (const auto &[note, text] : Notes)
            TestEnvironment::writeNote(Master, note, 0, text);
    }

    void exportReadsBackThroughQt5()
    {
        const QByteArray bytes = exportAll();
        QVERIFY(!bytes.isEmpty());
        QVERIFY2(std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; }),
                 bytes.constData());
        QSettings keyquill(m_dir.filePath(QStringLiteral("export.mmacro")), QSettings::IniFormat);
        for (const auto &[note, text] : Notes)
            QCOMPARE(keyquill.value(key(note, "text")).toString(), text);
#ifndef KEYQUILL_QT5INI
        QSKIP("Qt 5 (qtbase5-dev) was not found when the tests were configured");
#endif
        QCOMPARE(qt5ini("read", keyquill.fileName()), helperLines());
    }

    void qt5FileImportsExactly()
    {
#ifndef KEYQUILL_QT5INI
        QSKIP("Qt 5 (qtbase5-dev) was not found when the tests were configured");
#endif
        const QString path = m_dir.filePath(QStringLiteral("qt5.mmacro"));
        QCOMPARE(qt5ini("write", path, helperLines()), QByteArray());
        // Keyquill writes the same content byte for byte as the older writer did.
        QCOMPARE(exportAll(), TestEnvironment::fileBytes(path));

        TestEnvironment::clearStore();
        MacroStore store;
        MasterMacroImporter importer(store, [](const QString &) { return QString(); });
        QCOMPARE(importer.run(path), MasterMacroImporter::Outcome::Finished);
        for (const auto &[note, text] : Notes)
            QCOMPARE(store.note(Master, note).text, text);
    }
};

QTEST_MAIN(TestLegacyExport)
#include "tst_legacyexport.moc"
