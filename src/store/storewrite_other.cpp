// StoreWrite where the native store is not a file Qt writes itself (the registry on Windows, the
// preferences system on macOS): there is no file to keep or compare, and no lock file, so a
// change counts as written when the settings layer reports no access error.
#include "storewrite.h"

bool StoreWrite::lockCanBeHad(const QString &)
{
    return true;
}

QString StoreWrite::refusedStorePath()
{
    return {};
}

StoreWrite::Outcome StoreWrite::writeAndCheck()
{
    m_settings->sync();
    return m_settings->status() == QSettings::AccessError ? Outcome::Refused : Outcome::Written;
}

QString StoreWrite::writeRefusal(const QString &)
{
    return {}; // the settings layer tells nothing more
}

void StoreWrite::prepareProcess(const QString &) {}

QString StoreWrite::writtenFile(const QString &file)
{
    return file;
}

void StoreWrite::removeLeftovers(const QString &) {}
