// Test helper built against Qt 5: reads or writes an INI file through Qt 5's settings layer with
// no codec, the writer and reader of the older platform's master macro files.
//   qt5ini read <file>    prints one "key value" line per key, both percent-encoded UTF-8
//   qt5ini write <file>   reads such lines from standard input and writes them to the file
#include <cstdio>
#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QUrl>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    QSettings file(args.at(2), QSettings::IniFormat);
    if (args.at(1) == QLatin1String("read")) {
        QFile out;
        out.open(stdout, QIODevice::WriteOnly);
        for (const QString &key : file.allKeys())
            out.write(QUrl::toPercentEncoding(key) + ' ' +
                      QUrl::toPercentEncoding(file.value(key).toString()) + '\n');
        return file.status() == QSettings::NoError ? 0 : 1;
    }
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
