#pragma once

#include <QJsonDocument>
#include <QString>

class ImportBatch;

// Reads a JSON file for an import; a file that does not parse fails the batch at its line.
namespace JsonFile {

bool read(const QString &path, ImportBatch &batch, QJsonDocument *document);

} // namespace JsonFile
