#pragma once

#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>

class MacroStore;

// A quiet stand-in for the update server: answers every query "NO", so a window built in a test
// never shows an update box and nothing leaves the machine.
class QuietUpdateServer final : public QTcpServer
{
    Q_OBJECT

public:
    explicit QuietUpdateServer(QObject *parent = nullptr);
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }
};

// Everything a test needs to stay away from the user's own data: its own settings folder
// (XDG_CONFIG_HOME and QSettings' native path), its own single-instance key, the resources,
// the application identity, and the update query sent to a local quiet server.
class TestEnvironment final
{
public:
    TestEnvironment();
    TestEnvironment(const TestEnvironment &) = delete;
    TestEnvironment &operator=(const TestEnvironment &) = delete;

    QString configDir() const { return m_config.path(); }
    QString instanceKey() const { return m_instanceKey; }
    QString updateServer() const { return m_updateServer.address(); }

    static void clearStore();
    // Writes one note as the editor saves it (integer code, string text).
    static void writeNote(const QString &master, const QString &note, int code,
                          const QString &text);
    // Writes an empty master macro as "Add Master Macro" does.
    static void writeMasterMacro(const QString &master);
    // The bytes of a file, empty when it cannot be read.
    static QByteArray fileBytes(const QString &path);
    // Every note of the store as "master/note|code|text", in store order.
    static QStringList storeDump();
    static QStringList storeDump(const MacroStore &store);
    // A store file holding `notes` ("master/note|code|text" each, as storeDump() gives them).
    static QByteArray storeBytes(const QStringList &notes);
    // Writes `bytes` as a sync tool brings another machine's file: in place, or as a new file
    // renamed over the old one. Raw bytes, so that this process's settings layer hears nothing.
    static bool writeAsSyncTool(const QString &path, const QByteArray &bytes, bool replace);

private:
    QTemporaryDir m_config;
    QString m_instanceKey;
    QuietUpdateServer m_updateServer;
};
