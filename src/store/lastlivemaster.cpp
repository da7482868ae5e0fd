#include "lastlivemaster.h"

#include "store/storewrite.h"

#include <QSettings>

namespace {

const QString Group = QStringLiteral("Preferences");
const QString Key = QStringLiteral("Preferences/lastLiveMasterMacro");

} // namespace

namespace LastLiveMaster {

QString read()
{
    return QSettings().value(Key).toString();
}

bool write(const QString &master)
{
    if (read() == master)
        return true;
    StoreWrite write({Group});
    write.settings().setValue(Key, master);
    return write.commit();
}

bool forget()
{
    if (!QSettings().contains(Key))
        return true;
    StoreWrite write({Group});
    write.settings().remove(Key);
    return write.commit();
}

} // namespace LastLiveMaster
