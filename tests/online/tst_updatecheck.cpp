// The start-up update question: what goes on the wire, how answers and failures are shown.
#include "buildconfig.h"
#include "mainwindow/mainwindow.h"
#include "online/updatequery.h"
#include "scriptedserver.h"
#include "support/modalanswerer.h"
#include "support/testenv.h"
#include "updateserver.h"

#include <QMessageBox>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

struct MainWindowTester
{
    static QNetworkAccessManager &http(MainWindow &window) { return window.m_updates.network(); }
};

namespace {

const QString ErrorTitle = QStringLiteral("Error checking for updates");
const QString ErrorText =
    QStringLiteral("Error occured while contacting update server.\r\n\r\nError Description:\r\n");
const QString UpdateTitle = QStringLiteral("Update available");
const QString UpdateText =
    QStringLiteral("Update available. You may download new version from our site: <a "
                   "href=\"http://" KEYQUILL_VENDOR_HOST "\">" KEYQUILL_VENDOR_HOST "</a>");

using Box = ModalAnswerer::Seen;

QByteArray response(const QByteArray &status, const QByteArray &body)
{
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// What a window's start-up question came to.
struct StartUp
{
    qsizetype answers = 0;
    QList<Box> boxes;
    QString clientError;
};

} // namespace

class TestUpdateCheck final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void queryOnTheWire_data();
    void queryOnTheWire();
    void answers_data();
    void answers();
    void refusedConnectionShowsErrorOnce();
    void endlessAnswerIsCut();
    void badServerVariableIsReported();
    void referenceServerEndToEnd_data();
    void referenceServerEndToEnd();
    void referenceServerAnswers_data();
    void referenceServerAnswers();
    void parseServer_data();
    void parseServer();
    void switchedOffSendsNothing();

private:
    // Builds a window whose start-up question goes to `server`, and waits for the answer.
    StartUp startWindow(const QString &server);

    TestEnvironment m_env;
};

void TestUpdateCheck::init()
{
    // Everything but the pure parts and the switched-off build needs the check built in.
    static const QList<QByteArray> anyBuild = {"referenceServerAnswers", "parseServer",
                                               "switchedOffSendsNothing"};
    if (!KEYQUILL_UPDATE_CHECK_ENABLED && !anyBuild.contains(QTest::currentTestFunction()))
        QSKIP("built with KEYQUILL_UPDATE_CHECK=OFF");
}

void TestUpdateCheck::cleanup()
{
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    qputenv("KEYQUILL_UPDATE_SERVER", m_env.updateServer().toLocal8Bit());
}

StartUp TestUpdateCheck::startWindow(const QString &server)
{
    qputenv("KEYQUILL_UPDATE_SERVER", server.toLocal8Bit());
    ModalAnswerer answerer; // nothing expected: each box is recorded and closed
    MainWindow window;
    QNetworkAccessManager &http = MainWindowTester::http(window);
    StartUp result;
    connect(&http, &QNetworkAccessManager::finished, this,
            [&result](QNetworkReply *reply) { result.clientError = reply->errorString(); });
    QSignalSpy finished(&http, &QNetworkAccessManager::finished);
    finished.wait(20000);
    // One answer, hence at most one box.
    finished.wait(200);
    result.answers = finished.size();
    result.boxes = answerer.seen();
    return result;
}

void TestUpdateCheck::queryOnTheWire_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("1.0.0") << "1.0.0" << QByteArray("app=keyquill&version=1.0.0");
    QTest::newRow("space") << "1.0 beta" << QByteArray("app=keyquill&version=1.0%20beta");
    QTest::newRow("reserved characters")
        << "2.0+rc&x=1~_" << QByteArray("app=keyquill&version=2.0%2Brc%26x%3D1~_");
}

void TestUpdateCheck::queryOnTheWire()
{
    QFETCH(QString, version);
    QFETCH(QByteArray, body);
    QCoreApplication::setApplicationVersion(version);
    ScriptedServer server;
    server.answerWith(response("200 OK", "NO"));
    const StartUp run = startWindow(server.address());
    QCOMPARE(run.answers, 1);
    QVERIFY(run.boxes.isEmpty());
    QCOMPARE(server.requestCount(), 1);

    const QByteArray request = server.lastRequest();
    const qsizetype headEnd = request.indexOf("\r\n\r\n");
    QVERIFY(headEnd > 0);
    const QList<QByteArray> lines = request.left(headEnd).split('\n');
    QCOMPARE(lines.first().trimmed(), QByteArray("POST /apps/updates/check.php HTTP/1.1"));
    QMap<QByteArray, QByteArray> headers;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        headers.insert(lines.at(i).left(colon).toLower(), lines.at(i).mid(colon + 1).trimmed());
    }
    QCOMPARE(headers.value("host"), server.address().toLatin1());
    QCOMPARE(headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(headers.value("content-length"), QByteArray::number(body.size()));
    QCOMPARE(request.mid(headEnd + 4), body);
}

void TestUpdateCheck::answers_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("offered");
    QTest::newRow("YES") << response("200 OK", "YES") << true;
    QTest::newRow("YES, zero byte, more")
        << response("200 OK", QByteArray("YES\0NO more", 11)) << true;
    QTest::newRow("YES until close")
        << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nYES") << true;
    QTest::newRow("YES, chunked")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nYE\r\n1\r\nS\r\n"
                      "0\r\n\r\n")
        << true;
    QTest::newRow("YES with a line end") << response("200 OK", "YES\n") << false;
    QTest::newRow("yes") << response("200 OK", "yes") << false;
    QTest::newRow("space before") << response("200 OK", " YES") << false;
    QTest::newRow("NO") << response("200 OK", "NO") << false;
    QTest::newRow("empty") << response("200 OK", "") << false;
    QTest::newRow("zero byte first") << response("200 OK", QByteArray("\0YES", 4)) << false;
    QTest::newRow("404 page") << response("404 Not Found",
                                          "<html><body><h1>Not Found</h1></body></html>")
                              << false;
    QTest::newRow("500 page") << response("500 Internal Server Error", "oops") << false;
    // Only the body counts, whatever the status says.
    QTest::newRow("404 saying YES") << response("404 Not Found", "YES") << true;
    QTest::newRow("redirect, not followed")
        << QByteArray("HTTP/1.1 302 Found\r\nLocation: /apps/updates/check.php?again\r\n"
                      "Content-Length: 0\r\nConnection: close\r\n\r\n")
        << false;
}

void TestUpdateCheck::answers()
{
    QFETCH(QByteArray, response);
    QFETCH(bool, offered);
    ScriptedServer server;
    server.answerWith(response);
    const StartUp run = startWindow(server.address());
    const QList<Box> &boxes = run.boxes;
    QCOMPARE(run.answers, 1);
    QCOMPARE(server.requestCount(), 1);
    if (!offered) {
        QCOMPARE(boxes.size(), 0);
        return;
    }
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().title, UpdateTitle);
    QCOMPARE(boxes.first().text, UpdateText);
    QCOMPARE(boxes.first().icon, int(QMessageBox::Warning));
}

void TestUpdateCheck::refusedConnectionShowsErrorOnce()
{
    QString address;
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        address = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
    }
    const StartUp run = startWindow(address);
    const QList<Box> &boxes = run.boxes;
    const QString &clientError = run.clientError;
    QCOMPARE(run.answers, 1);
    QVERIFY(clientError.contains(QStringLiteral("refused"), Qt::CaseInsensitive));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().title, ErrorTitle);
    QCOMPARE(boxes.first().text, ErrorText + clientError);
    QCOMPARE(boxes.first().icon, int(QMessageBox::Warning));
}

// A body that never ends is cut off, means no update, and the cut is no error to report.
void TestUpdateCheck::endlessAnswerIsCut()
{
    ScriptedServer server;
    server.answerEndlessly("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n",
                           QByteArray("YES\0", 4));
    const StartUp run = startWindow(server.address());
    QCOMPARE(run.answers, 1);
    QCOMPARE(run.boxes.size(), 0);
    QTRY_VERIFY(server.clientClosed());
    QVERIFY2(server.endlessBytesSent() < ScriptedServer::EndlessLimit,
             "the client read on until the server gave up");
}

void TestUpdateCheck::badServerVariableIsReported()
{
    qputenv("KEYQUILL_UPDATE_SERVER", "127.0.0.1:notaport");
    ModalAnswerer answerer; // nothing expected: each box is recorded and closed
    MainWindow window;
    QTRY_COMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().first().title, ErrorTitle);
    QVERIFY(answerer.seen().first().text.startsWith(ErrorText));
    QVERIFY(answerer.seen().first().text.contains(QStringLiteral("127.0.0.1:notaport")));
}

void TestUpdateCheck::referenceServerEndToEnd_data()
{
    QTest::addColumn<QString>("latest");
    QTest::addColumn<bool>("offered");
    QTest::newRow("newer offered") << "1.0.1" << true;
    QTest::newRow("same") << "1.0.0" << false;
    QTest::newRow("older") << "0.9" << false;
}

void TestUpdateCheck::referenceServerEndToEnd()
{
    QFETCH(QString, latest);
    QFETCH(bool, offered);
    UpdateServer server(QVersionNumber::fromString(latest));
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    const StartUp run = startWindow(QStringLiteral("127.0.0.1:%1").arg(server.serverPort()));
    const QList<Box> &boxes = run.boxes;
    QCOMPARE(run.answers, 1);
    QCOMPARE(boxes.size(), offered ? 1 : 0);
    if (offered)
        QCOMPARE(boxes.first().title, UpdateTitle);
}

void TestUpdateCheck::referenceServerAnswers_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("older") << QByteArray("app=keyquill&version=1.0.0") << QByteArray("YES");
    QTest::newRow("older, short") << QByteArray("app=keyquill&version=1.1") << QByteArray("YES");
    QTest::newRow("fields swapped")
        << QByteArray("version=1.0.0&app=keyquill") << QByteArray("YES");
    QTest::newRow("same") << QByteArray("app=keyquill&version=1.2.0") << QByteArray("NO");
    QTest::newRow("same, short") << QByteArray("app=keyquill&version=1.2") << QByteArray("NO");
    QTest::newRow("newer") << QByteArray("app=keyquill&version=1.10") << QByteArray("NO");
    QTest::newRow("suffix") << QByteArray("app=keyquill&version=1.0%20beta") << QByteArray("NO");
    QTest::newRow("not a version") << QByteArray("app=keyquill&version=abc") << QByteArray("NO");
    QTest::newRow("no version") << QByteArray("app=keyquill") << QByteArray("NO");
    QTest::newRow("other app") << QByteArray("app=other&version=1.0.0") << QByteArray("NO");
    QTest::newRow("empty") << QByteArray() << QByteArray("NO");
}

void TestUpdateCheck::referenceServerAnswers()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, answer);
    QCOMPARE(UpdateServer::answerFor(body, QVersionNumber(1, 2, 0)), answer);
}

void TestUpdateCheck::parseServer_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("hostHeader");
    QTest::newRow("host:port") << "127.0.0.1:8080" << true << "127.0.0.1" << 8080
                               << QByteArray("127.0.0.1:8080");
    QTest::newRow("name only") << "updates.example" << true << "updates.example" << 80
                               << QByteArray("updates.example");
    QTest::newRow("port 80") << "updates.example:80" << true << "updates.example" << 80
                             << QByteArray("updates.example");
    QTest::newRow("IPv6") << "[::1]:9000" << true << "::1" << 9000 << QByteArray("[::1]:9000");
    QTest::newRow("port not a number") << "host:abc" << false << "" << 0 << QByteArray();
    QTest::newRow("port out of range") << "host:70000" << false << "" << 0 << QByteArray();
    QTest::newRow("port 0") << "host:0" << false << "" << 0 << QByteArray();
    QTest::newRow("empty") << "" << false << "" << 0 << QByteArray();
    QTest::newRow("a URL") << "http://host:1/x" << false << "" << 0 << QByteArray();
    QTest::newRow("user info") << "user@host:1" << false << "" << 0 << QByteArray();
}

void TestUpdateCheck::parseServer()
{
    QFETCH(QString, value);
    QFETCH(bool, valid);
    UpdateQuery::Server server;
    QCOMPARE(UpdateQuery::parseServer(value, &server), valid);
    if (!valid)
        return;
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QByteArray, hostHeader);
    QCOMPARE(server.host, host);
    QCOMPARE(server.port, port);
    QCOMPARE(UpdateQuery::hostHeader(server), hostHeader);
}

void TestUpdateCheck::switchedOffSendsNothing()
{
    if (KEYQUILL_UPDATE_CHECK_ENABLED)
        QSKIP("built with the update check");
    ScriptedServer server;
    server.answerWith(response("200 OK", "YES"));
    qputenv("KEYQUILL_UPDATE_SERVER", server.address().toLocal8Bit());
    QSignalSpy connections(&server, &QTcpServer::newConnection);
    MainWindow window;
    QVERIFY(!connections.wait(500));
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
