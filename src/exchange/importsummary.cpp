#include "importsummary.h"

QStringList ImportSummary::lines() const
{
    QStringList lines;
    lines << tr("Master Macros: %1").arg(masters) << tr("Notes: %1").arg(notes)
          << tr("Hot keys kept: %1").arg(hotKeysKept);
    if (renamedNotes > 0)
        lines << tr("Notes renamed (name taken or holding / or \\): %1").arg(renamedNotes);
    if (abbreviations > 0)
        lines << tr("Abbreviations kept: %1").arg(abbreviations);
    if (!asWritten.isEmpty()) {
        lines << tr("Kept as written, without an equivalent:");
        for (auto it = asWritten.cbegin(); it != asWritten.cend(); ++it)
            lines << tr("  %1: %2").arg(it.key()).arg(it.value());
    }
    if (!skipped.isEmpty()) {
        lines << tr("Left out:");
        for (auto it = skipped.cbegin(); it != skipped.cend(); ++it)
            lines << tr("  %1: %2").arg(it.key()).arg(it.value());
    }
    return lines;
}
