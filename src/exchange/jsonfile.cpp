#include "jsonfile.h"

#include "importbatch.h"

#include <QJsonParseError>

bool JsonFile::read(const QString &path, ImportBatch &batch, QJsonDocument *document,
                    bool *notRegular)
{
    QByteArray bytes;
    if (!batch.readFile(path, &bytes, notRegular))
        return false;
    QJsonParseError error{};
    *document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        batch.fail(ImportBatch::tr("The file is not valid JSON: %1.").arg(error.errorString()),
                   ImportBatch::lineAt(bytes, error.offset));
        return false;
    }
    return true;
}
