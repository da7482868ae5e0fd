// StoreWatcher where the file system's kind is not looked at: the poll always runs.
#include "storewatcher.h"

bool StoreWatcher::noticesEveryChange(const QString &)
{
    return false;
}
