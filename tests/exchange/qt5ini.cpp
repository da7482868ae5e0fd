// Test helper built against Qt 5: writes the notes of a JSON object ({"name": "text", ...}) as
// the master macro "Legacy" through Qt 5's settings layer with no codec, the writer of the older
// platform's master macro files.
//   qt5ini <notes.json> <file>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

int main(int argc, char *argv[])
{
    if (argc != 3)
        return 2;
    QFile json(QString::fromLocal8Bit(argv[1]));
    if (!json.open(QIODevice::ReadOnly))
        return 2;
    const QJsonObject notes = QJsonDocument::fromJson(json.readAll()).object();
    QSettings file(QString::fromLocal8Bit(argv[2]), QSettings::IniFormat);
    for (auto it = notes.begin(); it != notes.end(); ++it) {
        file.setValue("Legacy/Macros/" + it.key() + "/shortcut", "0");
        file.setValue("Legacy/Macros/" + it.key() + "/text", it.value().toString());
    }
    file.sync();
    return file.status() == QSettings::NoError ? 0 : 1;
}
