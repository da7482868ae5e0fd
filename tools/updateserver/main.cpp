// Reference update server: answers the program's start-up question over plain HTTP.
//   keyquill-update-server --latest 1.1.0 [--listen 127.0.0.1] [--port 8080]
#include "updateserver.h"

#include <cstdio>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("keyquill-update-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Answers YES to Keyquill versions older than the latest one, NO otherwise."));
    parser.addHelpOption();
    const QCommandLineOption latestOption(QStringLiteral("latest"),
                                          QStringLiteral("The latest version offered."),
                                          QStringLiteral("version"));
    const QCommandLineOption listenOption(QStringLiteral("listen"),
                                          QStringLiteral("Address to listen on."),
                                          QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on."),
                                        QStringLiteral("port"), QStringLiteral("8080"));
    parser.addOptions({latestOption, listenOption, portOption});
    parser.process(app);

    qsizetype suffix = 0;
    const QString latestText = parser.value(latestOption);
    const QVersionNumber latest = QVersionNumber::fromString(latestText, &suffix);
    if (latest.isNull() || suffix != latestText.size()) {
        std::fprintf(stderr, "keyquill-update-server: --latest needs a version such as 1.1.0\n");
        return 2;
    }
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    const QHostAddress address(parser.value(listenOption));
    if (!portOk || port > 65535 || address.isNull()) {
        std::fprintf(stderr, "keyquill-update-server: bad --listen address or --port\n");
        return 2;
    }

    UpdateServer server(latest);
    if (!server.listen(address, static_cast<quint16>(port))) {
        std::fprintf(stderr, "keyquill-update-server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    std::printf("keyquill-update-server: latest %s on %s:%u\n", qPrintable(latest.toString()),
                qPrintable(server.serverAddress().toString()), server.serverPort());
    std::fflush(stdout);
    return QCoreApplication::exec();
}
