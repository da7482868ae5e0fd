#include "storefile.h"

#include <QCoreApplication>

namespace {

// Some hundred times a store of 10,000 notes.
qint64 s_sizeCap = qint64(64) << 20;

} // namespace

QString StoreFile::pendingName(const QString &path, qint64 pid)
{
    return QStringLiteral("%1.keep-%2").arg(path).arg(pid);
}

qint64 StoreFile::sizeCap()
{
    return s_sizeCap;
}

void StoreFile::setSizeCap(qint64 bytes)
{
    s_sizeCap = bytes;
}

QString StoreFile::capText()
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("StoreFile", text); };
    if (s_sizeCap >= (1 << 20) && s_sizeCap % (1 << 20) == 0)
        return tr("%1 MiB").arg(s_sizeCap >> 20);
    if (s_sizeCap >= 1024 && s_sizeCap % 1024 == 0)
        return tr("%1 KiB").arg(s_sizeCap >> 10);
    return tr("%1 bytes").arg(s_sizeCap);
}
