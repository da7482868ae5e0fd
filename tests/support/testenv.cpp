#include "testenv.h"

#include "app/appidentity.h"
#include "store/macrostore.h"

#include <QtNetwork>

#include <cstdio>

QuietUpdateServer::QuietUpdateServer(QObject *parent) : QTcpServer(parent)
{
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = nextPendingConnection()) {
            // The client closes: closing here under a request still coming in would reset it.
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                          "Content-Length: 2\r\n\r\nNO");
        }
    });
    listen(QHostAddress::LocalHost, 0);
}

TestEnvironment::TestEnvironment()
    : m_instanceKey(QStringLiteral("keyquill-test-%1-%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')))
{
    Q_INIT_RESOURCE(keyquill);
    AppIdentity::apply();
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
    qputenv("KEYQUILL_INSTANCE_KEY", m_instanceKey.toLocal8Bit());
    qputenv("KEYQUILL_UPDATE_SERVER", m_updateServer.address().toLocal8Bit());
}

void TestEnvironment::clearStore()
{
    QSettings().clear();
}

void TestEnvironment::writeNote(const QString &master, const QString &note, int code,
                                const QString &text)
{
    QSettings store;
    store.beginGroup(QStringLiteral("MasterMacros/%1/Macros/%2").arg(master, note));
    store.setValue(MacroStore::ShortcutKey, code);
    store.setValue(MacroStore::TextKey, text);
}

void TestEnvironment::writeMasterMacro(const QString &master)
{
    QSettings().setValue(QStringLiteral("MasterMacros/%1/description").arg(master), QString());
}

QByteArray TestEnvironment::fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList TestEnvironment::storeDump()
{
    return storeDump(MacroStore());
}

QStringList TestEnvironment::storeDump(const MacroStore &store)
{
    QStringList lines;
    const QStringList masters = store.masters();
    for (const QString &master : masters) {
        const QList<MacroStore::Note> notes = store.notes(master);
        for (const MacroStore::Note &note : notes)
            lines << QStringLiteral("%1/%2|%3|%4")
                             .arg(master, note.name)
                             .arg(note.code)
                             .arg(note.text) +
                         (note.abbreviation.isEmpty() ? QString() : "|" + note.abbreviation);
    }
    return lines;
}

QByteArray TestEnvironment::storeBytes(const QStringList &notes)
{
    QByteArray ini("[MasterMacros]\n");
    for (const QString &line : notes) {
        const QStringList parts = line.split(QLatin1Char('|'));
        const QString key = QString(parts.at(0)).replace(QLatin1Char('/'), "\\Macros\\");
        ini += (key + "\\shortcut=" + parts.at(1) + "\n" + key + "\\text=" + parts.at(2) + "\n")
                   .toUtf8();
    }
    return ini;
}

bool TestEnvironment::writeAsSyncTool(const QString &path, const QByteArray &bytes, bool replace)
{
    QFile out(replace ? path + QStringLiteral(".tmp") : path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
        return false;
    out.close();
    return !replace || ::rename(QFile::encodeName(out.fileName()), QFile::encodeName(path)) == 0;
}
