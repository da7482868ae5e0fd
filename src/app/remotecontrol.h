#pragma once

#include "app/commandline.h"

#include <functional>
#include <memory>
#include <QList>
#include <QObject>
#include <QString>

class QTextStream;

// The running instance's door for other programs: on the user's own session bus, the service
// and interface org.corvane.Keyquill at /Keyquill with Pick, Deliver(master, note) and List
// (names and hot keys, never a text); and the command line's side of the same calls. Built
// without Qt DBus, there is no door and every call says so.
class RemoteControl final : public QObject
{
    Q_OBJECT

public:
    struct Entry
    {
        QString master;
        QString note;   // "" for a master macro without notes
        QString hotKey; // portable text, "" for none
    };
    enum class Taken { Yes, NoSuchNote, Busy };
    struct Handlers
    {
        std::function<void()> pick;
        // Busy when so many deliveries wait already that another would go out only much later.
        std::function<Taken(const QString &master, const QString &note)> deliver;
        std::function<QList<Entry>()> list;
    };

    explicit RemoteControl(Handlers handlers, QObject *parent = nullptr);
    ~RemoteControl() override;

    // Takes the service name; false (and why) when there is no session bus or another holds it.
    bool listen(QString *why = nullptr);

    // Makes the call `command` names, writes what it gives to `out` and one line on why it
    // failed to `err`; returns the exit code.
    static int call(const CommandLine &command, QTextStream &out, QTextStream &err);

private:
    struct Door;
    Handlers m_handlers;
    std::unique_ptr<Door> m_door;
};
