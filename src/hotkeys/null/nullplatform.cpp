#include "nullplatform.h"

NullPlatform::NullPlatform(const QString &why) : m_why(why) {}

QString NullPlatform::description() const
{
    return tr("Hot keys cannot work here: %1.").arg(m_why);
}

std::unique_ptr<ShortcutBackend> NullPlatform::createShortcutBackend(ShortcutBackend::Handlers)
{
    return nullptr;
}

void NullPlatform::sendStroke(int, StrokeDone done)
{
    done(tr("No key can be sent to other programs here: %1.").arg(m_why));
}
