#include "recentnotes.h"

#include "store/storewrite.h"

#include <QSettings>

namespace {

const QString Group = QStringLiteral("Preferences");
const QString Key = QStringLiteral("Preferences/quickPickRecent");

} // namespace

namespace RecentNotes {

QStringList read()
{
    return QSettings().value(Key).toStringList();
}

bool use(const QString &key)
{
    QStringList keys = read();
    if (!keys.isEmpty() && keys.first() == key)
        return true;
    keys.removeAll(key);
    keys.prepend(key);
    while (keys.size() > Limit)
        keys.removeLast();
    StoreWrite write({Group});
    write.settings().setValue(Key, keys);
    return write.commit();
}

} // namespace RecentNotes
