#include "appidentity.h"

#include "buildconfig.h"

#include <QCoreApplication>
#include <QStringList>

namespace AppIdentity {

void apply()
{
    QCoreApplication::setOrganizationDomain(QStringLiteral("corvane.example"));
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Keyquill"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KEYQUILL_VERSION));
}

bool wantsMinimizeToTray(const QStringList &arguments)
{
    return arguments.contains(QStringLiteral("--minimize-to-tray"), Qt::CaseSensitive);
}

} // namespace AppIdentity
