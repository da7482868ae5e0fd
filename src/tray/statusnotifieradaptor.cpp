#include "statusnotifieradaptor.h"

#include <QCoreApplication>
#include <QDBusMetaType>
#include <QIcon>
#include <QImage>
#include <QtEndian>

QDBusArgument &operator<<(QDBusArgument &argument, const SniPixmap &pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SniPixmap &pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.argb;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const SniToolTip &tip)
{
    argument.beginStructure();
    argument << tip.iconName << tip.pixmaps << tip.title << tip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SniToolTip &tip)
{
    argument.beginStructure();
    argument >> tip.iconName >> tip.pixmaps >> tip.title >> tip.text;
    argument.endStructure();
    return argument;
}

StatusNotifierAdaptor::StatusNotifierAdaptor(QObject *item, const QString &menuPath,
                                             Handlers handlers)
    : QDBusAbstractAdaptor(item), m_menu(menuPath), m_handlers(std::move(handlers))
{
    qDBusRegisterMetaType<SniPixmap>();
    qDBusRegisterMetaType<QList<SniPixmap>>();
    qDBusRegisterMetaType<SniToolTip>();
}

QString StatusNotifierAdaptor::id() const
{
    return QCoreApplication::applicationName();
}

void StatusNotifierAdaptor::setIcon(const QIcon &icon)
{
    m_pixmaps.clear();
    const QList<QSize> sizes = icon.availableSizes();
    for (const QSize &size : sizes) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        SniPixmap pixmap{image.width(), image.height(), QByteArray()};
        pixmap.argb.resize(image.width() * image.height() * 4);
        auto *out = reinterpret_cast<quint32 *>(pixmap.argb.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(line[x]);
        }
        m_pixmaps << pixmap;
    }
    m_toolTip.pixmaps = m_pixmaps;
    Q_EMIT NewIcon();
    Q_EMIT NewToolTip();
}

void StatusNotifierAdaptor::setToolTip(const QString &toolTip)
{
    // Some trays read the text as markup.
    m_toolTip.title = toolTip.section(QLatin1Char('\n'), 0, 0).toHtmlEscaped();
    m_toolTip.text = toolTip.section(QLatin1Char('\n'), 1).toHtmlEscaped();
    Q_EMIT NewToolTip();
}

void StatusNotifierAdaptor::Activate(int, int)
{
    m_handlers.activate();
}

void StatusNotifierAdaptor::SecondaryActivate(int, int) {}

void StatusNotifierAdaptor::ContextMenu(int x, int y)
{
    m_handlers.contextMenu(QPoint(x, y));
}

void StatusNotifierAdaptor::Scroll(int, const QString &) {}
