// What the program says to the outside: the start-up update question (what goes on the wire,
// what each kind of answer shows), and the About dialog, the instructions command and the ads
// panel, whose pages stay put while their links leave through the system's browser or mail
// program.
#include "buildconfig.h"
#include "mainwindow/mainwindow.h"
#include "online/aboutdlg.h"
#include "online/updatequery.h"
#include "support/fakeplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"
#include "updateserver.h"

#include <QAction>
#include <QDesktopServices>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

struct MainWindowTester
{
    static QNetworkAccessManager &http(MainWindow &window) { return window.m_updates.network(); }
};

namespace {

constexpr qint64 EndlessLimit = 32 * 1024 * 1024; // where an endless answer gives up
const QString ErrorBox = QStringLiteral("Error checking for updates|Error occured while "
                                        "contacting update server.\r\n\r\nError Description:\r\n");

// A local update server that keeps the request and answers with the bytes it is given, or, for
// "endless", with "YES", a zero byte and more for as long as the client reads.
class Server final : public QTcpServer
{
public:
    explicit Server(const QByteArray &answer) : m_answer(answer)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this] { clientClosed = true; });
        });
        listen(QHostAddress::LocalHost, 0);
        address = QStringLiteral("127.0.0.1:%1").arg(serverPort());
    }

    QString address;
    QByteArray request;
    qint64 sent = 0;
    bool clientClosed = false;

private:
    void serve(QTcpSocket *socket)
    {
        request += socket->readAll();
        if (!request.endsWith("&version=1.0.0"))
            return; // not all in yet (any other query is wrong and fails the wait)
        if (m_answer != "endless") {
            socket->write(m_answer);
            socket->disconnectFromHost();
            return;
        }
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            if (socket->bytesToWrite() == 0 && sent < EndlessLimit)
                sent += socket->write(QByteArray(16 * 1024, 'x'));
        });
        socket->write(QByteArray("HTTP/1.1 200 OK\r\n\r\nYES\0", 23));
    }
    QByteArray m_answer;
};

const QString Vendor = QStringLiteral("http://" KEYQUILL_VENDOR_HOST);
const QString Mail = QStringLiteral("mailto:support@corvane.example");

// Clicks the link to `href` in a shown browser, as a user would; false when there is none.
bool clickLink(QTextBrowser *browser, const QString &href)
{
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().anchorHref() != href)
                continue;
            QTextCursor cursor(block);
            cursor.setPosition(it.fragment().position()); // before the link's first character
            browser->setTextCursor(cursor);
            browser->ensureCursorVisible();
            const QPoint point = browser->cursorRect(cursor).center() + QPoint(2, 0);
            QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, point);
            return browser->anchorAt(point) == href;
        }
    return false;
}

} // namespace

class TestOnline final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    FakePlatform m_platform;
    QList<QUrl> m_opened;

public Q_SLOTS:
    // Stands in for the system's browser and mail program.
    void open(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("response"); // "": nobody listens; "bad": no server address
        QTest::addColumn<QString>("box");         // "title|text", "" for none
        const QString update = "Update available|Update available. You may download new version "
                               "from our site: <a href=\"http://" KEYQUILL_VENDOR_HOST
                               "\">" KEYQUILL_VENDOR_HOST "</a>";
        // Whatever the status, only the body counts.
        for (const char *status :
             {"200 OK", "400 Bad Request", "404 Not Found", "407 Proxy Authentication Required",
              "418 I'm a teapot", "500 Internal Server Error"}) {
            for (const char *body : {"YES", "NO"})
                QTest::addRow("%s, %s", status, body)
                    << "HTTP/1.1 " + QByteArray(status) +
                           "\r\nContent-Length: " + QByteArray::number(qstrlen(body)) +
                           "\r\nConnection: close\r\n\r\n" + body
                    << (qstrcmp(body, "YES") == 0 ? update : QString());
        }
        // An answer over 64 KiB is cut off, means no update, and the cut is no error to report.
        QTest::newRow("endless") << QByteArray("endless") << QString();
        QTest::newRow("refused") << QByteArray() << ErrorBox + "Connection refused";
        QTest::newRow("bad server variable")
            << QByteArray("bad")
            << ErrorBox + "KEYQUILL_UPDATE_SERVER is not a host:port address: \"127.0.0.1:x\"";
    }

    void answers()
    {
        if (!KEYQUILL_UPDATE_CHECK_ENABLED)
            QSKIP("built with KEYQUILL_UPDATE_CHECK=OFF");
        QFETCH(QByteArray, response);
        QFETCH(QString, box);
        Server server(response);
        if (response.isEmpty())
            server.close(); // the port is free again: the connection is refused
        qputenv("KEYQUILL_UPDATE_SERVER",
                response == "bad" ? "127.0.0.1:x" : server.address.toLatin1());
        const auto quietAgain = qScopeGuard(
            [this] { qputenv("KEYQUILL_UPDATE_SERVER", m_env.updateServer().toLatin1()); });
        // The boxes are warnings (Dialogs::warning); each is recorded, none waits for a user.
        ScriptedDialogs dialogs;
        MainWindow window(m_platform, &dialogs);
        QSignalSpy finished(&MainWindowTester::http(window), &QNetworkAccessManager::finished);
        QVERIFY(QTest::qWaitFor([&] { return !finished.isEmpty() || !dialogs.asked.isEmpty(); }));
        QCOMPARE(dialogs.asked, box.isEmpty() ? QStringList() : QStringList{box});
        if (response == "endless") {
            QTRY_VERIFY(server.clientClosed);
            QVERIFY2(server.sent < EndlessLimit, "the client read on until the server gave up");
        }
        // The query: the path, the Host header with the port, the form.
        const QByteArray &request = server.request;
        QVERIFY2(response.isEmpty() || response == "bad" ||
                     (request.startsWith("POST /apps/updates/check.php HTTP/1.1\r\n") &&
                      request.contains("\r\nHost: " + server.address.toLatin1() + "\r\n") &&
                      request.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n")),
                 request.constData());
    }

    // The server variable (the Host header carries the port unless it is 80), the body, the answer
    // read up to a zero byte, and the reference server, which offers updates to older versions.
    void queryParts()
    {
        QStringList headers;
        for (const char *value :
             {"127.0.0.1:8080", "updates.example:80", "updates.example", "[::1]:9000", "host:abc",
              "host:70000", "host:0", "", "http://h:1/x", "u@h:1"}) {
            UpdateQuery::Server server;
            headers << (UpdateQuery::parseServer(value, &server) ? UpdateQuery::hostHeader(server)
                                                                 : "refused");
        }
        QCOMPARE(headers,
                 QStringList({"127.0.0.1:8080", "updates.example", "updates.example", "[::1]:9000",
                              "refused", "refused", "refused", "refused", "refused", "refused"}));
        QCOMPARE(UpdateQuery::body("1.0 beta+1"),
                 QByteArray("app=keyquill&version=1.0%20beta%2B1"));
        QVERIFY(UpdateQuery::offersUpdate(QByteArray("YES\0NO", 6)));
        QVERIFY(!UpdateQuery::offersUpdate("YES\n"));
        QCOMPARE(UpdateServer::answerFor("version=1.1&app=keyquill", QVersionNumber(1, 2)), "YES");
        QCOMPARE(UpdateServer::answerFor("app=keyquill&version=1.2", QVersionNumber(1, 2)), "NO");
    }

    // The About dialog's mail link and every link of the ads panel, the donation image included, go
    // to the system, and the pages stay; "Instructions" opens the panel's first link.
    void linksLeaveThroughTheSystem()
    {
        for (const char *scheme : {"http", "https", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
        const auto unset = qScopeGuard([] {
            for (const char *scheme : {"http", "https", "mailto"})
                QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        });
        AboutDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *about = dialog.findChild<QTextBrowser *>(QStringLiteral("about"));
        QVERIFY(clickLink(about, Mail));
        QCOMPARE(m_opened, QList<QUrl>{QUrl(Mail)});
        QVERIFY(dialog.isVisible());
        QVERIFY(about->toPlainText().contains(QStringLiteral("\nVersion: v1.0.0\n")));

        ScriptedDialogs quiet;
        MainWindow window(m_platform, &quiet);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *ads = window.findChild<QTextBrowser *>(QStringLiteral("ads"));
        const QString page = ads->toHtml();
        const QList<QUrl> links = {Vendor + "/corvane_key_quill.php", Vendor + "/donate.php", Mail};
        for (const QUrl &link : links)
            QVERIFY2(clickLink(ads, link.toString()), qPrintable(link.toString()));
        QCOMPARE(m_opened.mid(1), links);
        QCOMPARE(ads->toHtml(), page);
        for (QAction *action : window.findChildren<QAction *>())
            if (action->text() == QStringLiteral("&Instructions"))
                action->trigger();
        QCOMPARE(m_opened.mid(1), links + QList<QUrl>{links.first()});
    }
};

QTEST_MAIN(TestOnline)
#include "tst_online.moc"
