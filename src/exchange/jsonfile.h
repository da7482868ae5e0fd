#pragma once

#include <QJsonDocument>
#include <QString>

class ImportBatch;

// Reads a JSON file for an import; a file that does not parse fails the batch at its line. With
// `notRegular`, a file that is no regular one is only told there (as ImportBatch::readFile).
namespace JsonFile {

bool read(const QString &path, ImportBatch &batch, QJsonDocument *document,
          bool *notRegular = nullptr);

} // namespace JsonFile
