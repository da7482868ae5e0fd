#include "testenv.h"

#include "app/appidentity.h"
#include "store/macrostore.h"

#include <memory>
#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpSocket>

static void initResources()
{
    Q_INIT_RESOURCE(keyquill);
}

QuietUpdateServer::QuietUpdateServer(QObject *parent) : QTcpServer(parent)
{
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            // Answer only once the whole request is in: replying early and closing could
            // reset the connection under a body still being sent, which reads as an error.
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, request] {
                request->append(socket->readAll());
                const qsizetype headerEnd = request->indexOf("\r\n\r\n");
                if (headerEnd < 0)
                    return;
                qsizetype contentLength = 0;
                const QList<QByteArray> lines = request->left(headerEnd).split('\n');
                for (const QByteArray &line : lines) {
                    if (line.toLower().startsWith("content-length:"))
                        contentLength = line.mid(15).trimmed().toLongLong();
                }
                if (request->size() < headerEnd + 4 + contentLength)
                    return;
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                              "Content-Length: 2\r\nConnection: close\r\n\r\nNO");
                socket->disconnectFromHost();
            });
        }
    });
    listen(QHostAddress::LocalHost, 0);
}

QString QuietUpdateServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(serverPort());
}

TestEnvironment::TestEnvironment()
    : m_instanceKey(QStringLiteral("keyquill-test-%1-%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')))
{
    initResources();
    AppIdentity::apply();
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
    qputenv("KEYQUILL_INSTANCE_KEY", m_instanceKey.toLocal8Bit());
    qputenv("KEYQUILL_UPDATE_SERVER", m_updateServer.address().toLocal8Bit());
}

TestEnvironment::~TestEnvironment() = default;

void TestEnvironment::clearStore()
{
    QSettings store;
    store.clear();
}

void TestEnvironment::writeNote(const QString &master, const QString &note, int code,
                                const QString &text)
{
    QSettings store;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    store.beginGroup(master);
    store.beginGroup(MacroStore::MacrosGroup);
    store.beginGroup(note);
    store.setValue(MacroStore::ShortcutKey, code);
    store.setValue(MacroStore::TextKey, text);
}

bool TestEnvironment::moveStoreBelowAFile(const QTemporaryDir &dir)
{
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    if (!blocker.open(QIODevice::WriteOnly))
        return false;
    blocker.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir.filePath(QStringLiteral("blocker/config")));
    return true;
}

QByteArray TestEnvironment::fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void TestEnvironment::writeMasterMacro(const QString &master)
{
    QSettings store;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    store.beginGroup(master);
    store.setValue(MacroStore::DescriptionKey, QString());
}
