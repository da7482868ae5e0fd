// Test helper built against Qt 5: writes an INI file through Qt 5's settings layer with no codec,
// the writer of the older platform's master macro files.
//   qt5ini <file>   takes "key value" lines, both percent-encoded UTF-8, from standard input
#include <QFile>
#include <QSettings>
#include <QUrl>

int main(int argc, char *argv[])
{
    if (argc != 2)
        return 2;
    QSettings file(QString::fromLocal8Bit(argv[1]), QSettings::IniFormat);
    QFile in;
    in.open(stdin, QIODevice::ReadOnly);
    for (const QByteArray &line : in.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            file.setValue(QString::fromUtf8(QByteArray::fromPercentEncoding(parts.at(0))),
                          QString::fromUtf8(QByteArray::fromPercentEncoding(parts.at(1))));
    }
    file.sync();
    return file.status() == QSettings::NoError ? 0 : 1;
}
