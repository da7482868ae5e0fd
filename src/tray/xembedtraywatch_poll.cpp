#include "xembedtraywatch.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QTimer>

// Without XFixes the X server is asked once a second, on the whole second so that the wake-up
// is shared with the single-instance guard's.
struct XEmbedTrayWatch::Watch
{
    QTimer poll;
    bool present = false;
};

XEmbedTrayWatch::XEmbedTrayWatch(QObject *parent)
    : QObject(parent), m_watch(std::make_unique<Watch>())
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    m_watch->present = QSystemTrayIcon::isSystemTrayAvailable();
    m_watch->poll.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_watch->poll, &QTimer::timeout, this, [this] {
        if (QSystemTrayIcon::isSystemTrayAvailable() != m_watch->present) {
            m_watch->present = !m_watch->present;
            Q_EMIT changed();
        }
    });
    m_watch->poll.start(1000);
}

XEmbedTrayWatch::~XEmbedTrayWatch() = default;

bool XEmbedTrayWatch::isPresent() const
{
    return m_watch->present;
}
