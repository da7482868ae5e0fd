// Built without Qt DBus: no door, and a call says so.
#include "remotecontrol.h"

#include <QCoreApplication>
#include <QTextStream>

struct RemoteControl::Door
{
};

RemoteControl::RemoteControl(Handlers handlers, QObject *parent)
    : QObject(parent), m_handlers(std::move(handlers))
{
}

RemoteControl::~RemoteControl() = default;

bool RemoteControl::listen(QString *why)
{
    if (why)
        *why = QCoreApplication::translate("RemoteControl", "built without D-Bus");
    return false;
}

int RemoteControl::call(const CommandLine &, QTextStream &, QTextStream &err)
{
    err << "keyquill: "
        << QCoreApplication::translate("RemoteControl",
                                       "this build cannot reach a running Keyquill (no D-Bus).")
        << Qt::endl;
    return CommandLine::Unreachable;
}
