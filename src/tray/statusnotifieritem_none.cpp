#include "statusnotifieritem.h"

// Built without QtDBus: only X11 trays show the program.
struct StatusNotifierItem::Bus
{
};

StatusNotifierItem::StatusNotifierItem(QMenu *, QObject *parent) : QObject(parent) {}

StatusNotifierItem::~StatusNotifierItem() = default;

bool StatusNotifierItem::isInTray() const
{
    return false;
}

bool StatusNotifierItem::isKnown() const
{
    return true;
}

void StatusNotifierItem::setIcon(const QIcon &) {}

void StatusNotifierItem::setToolTip(const QString &) {}

void StatusNotifierItem::showMessage(const QString &, const QString &) {}
