#include "trayicon.h"

#include "tray/statusnotifieritem.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon(const QIcon &mainIcon, QAction *quit, QWidget *window)
    : QObject(window), m_mainIcon(mainIcon), m_liveIcon(liveIcon(mainIcon)),
      m_icon(new QSystemTrayIcon(mainIcon, window)), m_menu(new QMenu(window)),
      m_item(new StatusNotifierItem(m_menu, this))
{
    m_separator = m_menu->addSeparator();
    m_menu->addAction(quit);
    m_icon->setContextMenu(m_menu);
    m_item->setIcon(mainIcon);
    // Qt's X11 icon reports a single click as a Trigger too: only a double click means it.
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::DoubleClick)
                    Q_EMIT activated();
            });
    connect(m_item, &StatusNotifierItem::activated, this, &TrayIcon::activated);
    connect(m_menu, &QMenu::aboutToShow, this, &TrayIcon::menuAboutToShow);
    connect(m_item, &StatusNotifierItem::menuAboutToShow, this, &TrayIcon::menuAboutToShow);
    connect(m_item, &StatusNotifierItem::inTrayChanged, this, [this] {
        showOneIcon();
        Q_EMIT statusNotifierTrayChanged();
    });
    showOneIcon();
}

bool TrayIcon::inStatusNotifierTray() const
{
    return m_item->isInTray();
}

bool TrayIcon::knowsTray() const
{
    return m_item->isKnown();
}

void TrayIcon::showOneIcon()
{
    m_icon->setVisible(m_item->isKnown() && !m_item->isInTray());
}

void TrayIcon::showMasters(const QStringList &masters, const QString &live)
{
    m_live = live;
    QStringList shown;
    for (const QAction *action : std::as_const(m_masterActions))
        shown << action->data().toString();
    if (shown != masters) {
        qDeleteAll(m_masterActions);
        m_masterActions.clear();
        for (const QString &name : masters) {
            // An ampersand in a name is text, not a mnemonic.
            QString text = name;
            auto *action = new QAction(text.replace(QLatin1Char('&'), QLatin1String("&&")), m_menu);
            action->setData(name);
            action->setCheckable(true);
            action->setEnabled(m_mastersEnabled);
            connect(action, &QAction::triggered, this, [this, name] {
                Q_EMIT masterChosen(name);
                // Qt toggled the entry; the tick shows what is live, whatever the window did.
                applyTicks();
            });
            m_menu->insertAction(m_separator, action);
            m_masterActions << action;
        }
    }
    applyTicks();
}

void TrayIcon::applyTicks()
{
    for (QAction *action : std::as_const(m_masterActions))
        action->setChecked(!m_live.isEmpty() && action->data().toString() == m_live);
}

void TrayIcon::setMastersEnabled(bool enabled)
{
    m_mastersEnabled = enabled;
    for (QAction *action : std::as_const(m_masterActions))
        action->setEnabled(enabled);
}

void TrayIcon::showLive(const QString &toolTip, bool hotKeysLive)
{
    m_icon->setToolTip(toolTip);
    m_icon->setIcon(hotKeysLive ? m_liveIcon : m_mainIcon);
    m_item->setToolTip(toolTip);
    m_item->setIcon(hotKeysLive ? m_liveIcon : m_mainIcon);
}

void TrayIcon::showMessage(const QString &title, const QString &text)
{
    if (m_item->isInTray())
        m_item->showMessage(title, text);
    else
        m_icon->showMessage(title, text, QSystemTrayIcon::Warning);
}

QString TrayIcon::toolTip(const QString &title, const QString &live, int unavailable,
                          const QString &pasteFailure)
{
    QString tip = live.isEmpty() ? title : title + QStringLiteral(" - ") + live;
    // No translation is installed, so the singular is spelled out rather than left to one.
    if (unavailable == 1)
        tip +=
            QLatin1Char('\n') + QCoreApplication::translate("MainWindow", "1 hot key unavailable");
    else if (unavailable > 1)
        tip +=
            QLatin1Char('\n') + QCoreApplication::translate("MainWindow", "%n hot keys unavailable",
                                                            nullptr, unavailable);
    if (!pasteFailure.isEmpty())
        tip += QLatin1Char('\n') + pasteFailure;
    return tip;
}

QIcon TrayIcon::liveIcon(const QIcon &mainIcon)
{
    QIcon result;
    const QList<QSize> sizes = mainIcon.availableSizes();
    for (const QSize &size : sizes) {
        QPixmap pixmap = mainIcon.pixmap(size);
        if (pixmap.isNull())
            continue;
        // A green dot with a light rim, so it shows on dark and light panels alike.
        const qreal dot = pixmap.width() * 0.45;
        const QRectF mark(pixmap.width() - dot, pixmap.height() - dot, dot, dot);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(255, 255, 255), qMax<qreal>(1.0, dot / 8)));
        painter.setBrush(QColor(30, 160, 60));
        painter.drawEllipse(mark.adjusted(0.5, 0.5, -0.5, -0.5));
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}
