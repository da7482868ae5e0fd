#include "snippetfiles.h"

#include "autokeyreader.h"
#include "beeftextreader.h"
#include "csvreader.h"
#include "espansoreader.h"
#include "importprogress.h"

#include <QFileInfo>

namespace {

QString suffix(const QString &path)
{
    return QFileInfo(path).suffix().toLower();
}

} // namespace

QString SnippetFiles::filter()
{
    return tr("Master Macro Files (*.mmacro)") + QStringLiteral(";;") +
           tr("espanso Match Files (*.yml *.yaml)") + QStringLiteral(";;") +
           tr("Beeftext Combo Files (*.json)") + QStringLiteral(";;") +
           tr("AutoKey Phrase Folders, by any phrase in them (*.txt)") + QStringLiteral(";;") +
           tr("CSV Files (*.csv)");
}

bool SnippetFiles::isSnippetFile(const QString &path)
{
    static const QStringList suffixes = {QStringLiteral("yml"), QStringLiteral("yaml"),
                                         QStringLiteral("json"), QStringLiteral("txt"),
                                         QStringLiteral("csv")};
    return suffixes.contains(suffix(path)) && !QFileInfo(path).isDir();
}

ImportBatch SnippetFiles::read(const QString &path)
{
    ImportBatch batch;
    read(path, batch);
    return batch;
}

void SnippetFiles::read(const QString &path, ImportBatch &batch)
{
    const QString type = suffix(path);
    const QFileInfo info(path);
    // A phrase's hidden description, picked with hidden files shown, stands for its folder too.
    const bool autoKey = info.isDir() || type == QLatin1String("txt") ||
                         (type == QLatin1String("json") && info.fileName().startsWith('.'));
    if (batch.progress()) // a folder's size is known only once it has been read
        batch.progress()->start(ImportProgress::Stage::Reading, autoKey ? 0 : info.size());
    if (autoKey)
        AutoKeyReader::read(path, batch);
    else if (type == QLatin1String("json"))
        BeeftextReader::read(path, batch);
    else if (type == QLatin1String("csv"))
        CsvReader::read(path, batch);
    else
        EspansoReader::read(path, batch);
}
