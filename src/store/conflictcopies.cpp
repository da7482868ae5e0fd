#include "conflictcopies.h"

#include <QDir>
#include <QFileInfo>

QStringList ConflictCopies::find(const QString &storeFile)
{
    const QFileInfo store(storeFile);
    const QString base = store.completeBaseName();
    const QString suffix = QLatin1Char('.') + store.suffix();
    const QStringList patterns{base + QStringLiteral(".sync-conflict-*") + suffix,
                               base + QStringLiteral(" (*conflicted copy*)") + suffix};
    QStringList paths;
    const QFileInfoList copies =
        store.dir().entryInfoList(patterns, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QFileInfo &copy : copies)
        paths.append(copy.filePath());
    return paths;
}
