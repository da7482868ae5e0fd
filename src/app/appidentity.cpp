#include "appidentity.h"

#include <QCoreApplication>
#include <QStringList>

namespace AppIdentity {

void apply()
{
    QCoreApplication::setOrganizationDomain(QStringLiteral("corvane.example"));
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Keyquill"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
}

bool wantsMinimizeToTray(const QStringList &arguments)
{
    return arguments.contains(QStringLiteral("--minimize-to-tray"), Qt::CaseSensitive);
}

} // namespace AppIdentity
