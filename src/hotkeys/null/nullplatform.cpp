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

QString NullPlatform::refusalReason() const
{
    return tr("Hot keys cannot be registered in this session: %1. They work in an X11 session, "
              "or on a Wayland desktop that offers the global shortcuts portal.")
        .arg(m_why);
}

void NullPlatform::sendStroke(int, StrokeDone done)
{
    done(tr("No key can be sent to other programs here: %1.").arg(m_why));
}
