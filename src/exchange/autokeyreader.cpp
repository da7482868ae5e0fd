#include "autokeyreader.h"

#include "core/snippettext.h"
#include "importbatch.h"
#include "importfile.h"
#include "jsonfile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

// Folders below folders: deep enough for any real tree, short of a link loop.
constexpr int MaxDepth = 16;

// The title the folder's own description gives it, else the folder's name.
QString folderTitle(const QDir &folder, ImportBatch &batch)
{
    const QString path = folder.filePath(QStringLiteral(".folder.json"));
    QByteArray bytes;
    bool notRegular = false;
    // A broken folder description only costs the title; its bytes count as read all the same.
    if (QFileInfo(path).isReadable() && batch.readFile(path, &bytes, &notRegular)) {
        const QString title =
            QJsonDocument::fromJson(bytes).object().value(QLatin1String("title")).toString();
        if (!title.isEmpty())
            return title;
    }
    return folder.dirName();
}

} // namespace

namespace {

// The first abbreviation of a phrase; any further one is counted.
QString abbreviation(const QJsonObject &settings, ImportBatch &batch)
{
    const QJsonValue list = settings.value(QLatin1String("abbreviations"));
    if (!list.isArray()) // as older versions wrote it
        return settings.value(QLatin1String("abbreviation")).toString();
    const QJsonArray all = list.toArray();
    for (qsizetype more = 1; more < all.size(); ++more)
        batch.skip(AutoKeyReader::tr("abbreviations after the first of a phrase"));
    return all.isEmpty() ? QString() : all.first().toString();
}

int hotKeyCode(const QJsonObject &hotkey, ImportBatch &batch)
{
    QString key = hotkey.value(QLatin1String("hotKey")).toString();
    if (key.isEmpty())
        return 0;
    // Keys other than characters are written in angle brackets: "<f5>", "<enter>".
    if (key.size() > 2 && key.startsWith(QLatin1Char('<')) && key.endsWith(QLatin1Char('>')))
        key = key.mid(1, key.size() - 2);
    QStringList modifiers;
    for (const auto &modifier : hotkey.value(QLatin1String("modifiers")).toArray())
        modifiers << modifier.toString();
    return batch.offeredCode(modifiers, key);
}

} // namespace

void AutoKeyReader::read(const QString &path, ImportBatch &batch)
{
    const QFileInfo info(path);
    const QDir folder(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    QSet<QByteArray> seen;
    if (!readFolder(folder, batch, 0, seen) || batch.failed())
        return;
    if (batch.masters().isEmpty() && batch.summary().skipped.isEmpty())
        batch.fail(tr("The folder holds no phrases (a hidden .<name>.json beside each "
                      "<name>.txt)."),
                   0);
}

bool AutoKeyReader::readFolder(const QDir &folder, ImportBatch &batch, int depth,
                               QSet<QByteArray> &seen)
{
    // A link back to a folder above would otherwise have every folder read again through it.
    const QByteArray identity = ImportFile::folderIdentity(folder.absolutePath());
    if (identity.isEmpty() || seen.contains(identity))
        return true;
    seen.insert(identity);
    if (!batch.advance(seen.size()))
        return false;
    const QStringList descriptions =
        folder.entryList({QStringLiteral(".*.json")}, QDir::Files | QDir::Hidden, QDir::Name);
    int master = -1;
    for (const QString &file : descriptions) {
        if (file == QLatin1String(".folder.json"))
            continue;
        if (!batch.advance(seen.size()))
            return false;
        QJsonDocument document;
        bool notRegular = false;
        if (!JsonFile::read(folder.filePath(file), batch, &document, &notRegular)) {
            if (notRegular) {
                batch.skip(tr("phrases that are not regular files"));
                continue;
            }
            batch.fail(tr("%1: %2").arg(file, batch.summary().error), batch.summary().errorLine);
            return false;
        }
        const QJsonObject phrase = document.object();
        if (phrase.value(QLatin1String("type")).toString() != QLatin1String("phrase")) {
            batch.skip(tr("scripts"));
            continue;
        }
        // ".<name>.json" describes "<name>.txt".
        const QString base = file.mid(1, file.size() - 6);
        QByteArray bytes;
        QString text;
        if (!batch.readFile(folder.filePath(base + QStringLiteral(".txt")), &bytes, &notRegular)) {
            if (notRegular) {
                batch.skip(tr("phrases that are not regular files"));
                continue;
            }
            if (!batch.cancelled())
                batch.fail(tr("The text of the phrase %1 cannot be read: %2")
                               .arg(base, batch.summary().error),
                           0);
            return false;
        }
        if (!batch.decodeUtf8(bytes, &text)) {
            batch.fail(tr("%1.txt: %2").arg(base, batch.summary().error),
                       batch.summary().errorLine);
            return false;
        }
        if (master < 0)
            master = batch.master(folderTitle(folder, batch));
        const int code = hotKeyCode(phrase.value(QLatin1String("hotkey")).toObject(), batch);
        QString name = phrase.value(QLatin1String("description")).toString();
        if (name.isEmpty())
            name = base;
        QStringList otherKeys;
        const QString noteText = SnippetText::autoKeyPhrase(text, &otherKeys);
        for (const QString &key : otherKeys)
            batch.keptAsWritten(tr("AutoKey key %1").arg(key));
        batch.addNote(master, name, code, noteText,
                      abbreviation(phrase.value(QLatin1String("abbreviation")).toObject(), batch));
    }
    if (depth >= MaxDepth)
        return true;
    const QStringList folders = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &sub : folders) {
        if (!readFolder(QDir(folder.filePath(sub)), batch, depth + 1, seen))
            return false;
    }
    return true;
}
