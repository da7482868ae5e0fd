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
    // Links and pipes too (as files or system entries), so that they can be named and refused.
    QStringList paths;
    const QStringList copies = store.dir().entryList(
        patterns, QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &copy : copies)
        paths.append(store.dir().filePath(copy));
    return paths;
}
