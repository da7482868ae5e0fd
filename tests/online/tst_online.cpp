// What the program says to the outside: the start-up update question (what goes on the wire,
// what each kind of answer shows), and the About dialog, the instructions command and the ads
// panel, whose pages stay put while their links leave through the system's browser or mail
// program.
#include "buildconfig.h"
#include "online/aboutdlg.h"
#include "online/updatechecker.h"
#include "support/windowfixture.h"

#include <QtNetwork>

#include <memory>

namespace {

const QString UpdateBox =
    "Update available|Update available. You may download new version from "
    "our site: <a href=\"http://" KEYQUILL_VENDOR_HOST "\">" KEYQUILL_VENDOR_HOST "</a>";
const QString ErrorBox = QStringLiteral("Error checking for updates|Error occured while "
                                        "contacting update server.\r\n\r\nError Description:\r\n");

// A local update server on a thread of its own, so that it sends as fast as the kernel takes the
// bytes whatever the client does. It reads the query, sends `head` (a byte every `pauseMs` when
// given), then `repeat` over and over, and closes after the head when told to, else waits for
// the client to close. It gives up after 8 MiB or 10 s.
class Server final
{
public:
    Server(const QByteArray &head, const QByteArray &repeat, int pauseMs, bool closeAfterHead)
        : m_thread(QThread::create([this, head, repeat, pauseMs, closeAfterHead] {
              serve(head, repeat, pauseMs, closeAfterHead);
          }))
    {
        m_thread->start();
        m_listening.acquire();
    }
    ~Server() { m_thread->wait(); }
    void wait() { m_thread->wait(); }

    QString address;
    QByteArray request;
    qint64 sent = 0;
    bool clientClosed = false;

private:
    void serve(const QByteArray &head, const QByteArray &repeat, int pauseMs, bool closeAfterHead)
    {
        QTcpServer listener;
        listener.listen(QHostAddress::LocalHost);
        address = QStringLiteral("127.0.0.1:%1").arg(listener.serverPort());
        m_listening.release();
        const QDeadlineTimer giveUp(10000);
        if (!listener.waitForNewConnection(10000))
            return;
        std::unique_ptr<QTcpSocket> socket(listener.nextPendingConnection());
        // A small kernel buffer, so that what is sent is close to what the client took in.
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 16 * 1024);
        const auto wait = [&](int ms) {
            socket->waitForReadyRead(ms);
            return socket->state() == QAbstractSocket::ConnectedState && !giveUp.hasExpired();
        };
        while (!request.endsWith("&version=1.0.0") && wait(int(giveUp.remainingTime())))
            request += socket->readAll();
        const auto send = [&](const QByteArray &bytes) {
            socket->write(bytes);
            while (socket->bytesToWrite() > 0 &&
                   socket->waitForBytesWritten(int(giveUp.remainingTime()))) {
            }
            sent += bytes.size() - socket->bytesToWrite();
            return socket->state() == QAbstractSocket::ConnectedState && !giveUp.hasExpired();
        };
        bool open = true;
        for (qsizetype i = 0; open && pauseMs > 0 && i < head.size(); ++i)
            open = send(head.mid(i, 1)) && wait(pauseMs);
        open = open && (pauseMs > 0 || send(head));
        while (open && !repeat.isEmpty() && sent < 8 * 1024 * 1024)
            open = send(repeat);
        if (closeAfterHead)
            socket->disconnectFromHost();
        while (wait(int(giveUp.remainingTime())))
            socket->readAll();
        clientClosed = !closeAfterHead && socket->state() != QAbstractSocket::ConnectedState;
    }

    QSemaphore m_listening;
    std::unique_ptr<QThread> m_thread;
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

class TestOnline final : public WindowFixture
{
    Q_OBJECT

    QList<QUrl> m_opened;

    // Points the update check at `address` until the returned guard goes.
    auto serveFrom(const QString &address)
    {
        qputenv("KEYQUILL_UPDATE_SERVER", address.toLatin1());
        return qScopeGuard(
            [this] { qputenv("KEYQUILL_UPDATE_SERVER", m_env.updateServer().toLatin1()); });
    }

public Q_SLOTS:
    // Stands in for the system's browser and mail program.
    void open(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("head");   // "": nobody listens; "bad": no server address
        QTest::addColumn<QByteArray>("repeat"); // then sent over and over
        QTest::addColumn<int>("pauseMs");       // between the head's bytes
        QTest::addColumn<bool>("closes");       // after the head; else the client must
        QTest::addColumn<QString>("box");       // "title|text", "" for none
        const auto answer = [](const QByteArray &tag, const QByteArray &head, const QString &box) {
            QTest::newRow(tag.constData()) << head << QByteArray() << 0 << true << box;
        };
        // Whatever the status, only the body counts; "NO" is the quiet server's, in every test.
        for (const char *status :
             {"200 OK", "400 Bad Request", "404 Not Found", "407 Proxy Authentication Required",
              "418 I'm a teapot", "500 Internal Server Error"}) {
            for (const QByteArray body : {"YES", "YES\n"})
                answer(status + QByteArray(body == "YES" ? ", YES" : ", YES and a line end"),
                       "HTTP/1.1 " + QByteArray(status) + "\r\nContent-Length: " +
                           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
                       body == "YES" ? UpdateBox : QString());
        }
        answer("chunked",
               "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
               "1\r\nY\r\n002;x=y\r\nES\r\n0\r\nX-T: 1\r\n\r\n",
               UpdateBox);
        answer("interim, then to the close",
               QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\n\nYES\0NO", 48),
               UpdateBox);
        answer("cut short", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nYES",
               ErrorBox + "The remote host closed the connection");
        answer("not HTTP", "HTTP/1.1 2OO OK\r\n\r\nYES",
               ErrorBox + "The server's answer is not HTTP.");
        answer("refused", QByteArray(), ErrorBox + "Connection refused");
        answer("bad server variable", "bad",
               ErrorBox + "KEYQUILL_UPDATE_SERVER is not a host:port address: \"127.0.0.1:x\"");

        // Answers no honest server gives, sent as fast as the kernel takes them: the check ends
        // without a box, closes the connection by the deadline, and takes in a bounded part.
        const auto hostile = [](const char *tag, const QByteArray &head, const QByteArray &repeat,
                                int pauseMs = 0) {
            QTest::newRow(tag) << head << repeat << pauseMs << false << QString();
        };
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
        const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n";
        hostile("endless header line", ok + "X-Pad: ", QByteArray(16384, 'a'));
        hostile("endless headers", ok, QByteArray("X-Pad: a\r\n").repeated(1024));
        hostile("endless chunks", chunked, "10000\r\n" + QByteArray(65536, 'x') + "\r\n");
        // No length and no end: the cap counts the whole body, not one read of it.
        hostile("endless body to the close", ok + "\r\n", QByteArray(4096, 'x'));
        hostile("absurd chunk", chunked + "fffffffff\r\n", QByteArray(65536, 'x'));
        hostile("endless 100 Continue", interim, interim);
        hostile("1 byte a second", ok + "Content-Length: 3\r\n\r\nYES", QByteArray(), 1000);
        // We never offer gzip, so a compressed "YES" is just bytes that are not "YES".
        hostile("gzip YES",
                ok + "Content-Encoding: gzip\r\nContent-Length: 23\r\n\r\n" +
                    QByteArray::fromHex("1f8b08000000000002038b740d0600237740e303000000"),
                QByteArray());
    }
    void answers()
    {
        if (!KEYQUILL_UPDATE_CHECK_ENABLED)
            QSKIP("built with KEYQUILL_UPDATE_CHECK=OFF");
        QFETCH(QByteArray, head);
        QFETCH(bool, closes);
        QFETCH(QString, box);
        std::unique_ptr<Server> server;
        QString address = "127.0.0.1:x";
        if (head.isEmpty()) {
            QTcpServer closed; // its port is free again: the connection is refused
            closed.listen(QHostAddress::LocalHost);
            address = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
        } else if (head != "bad") {
            QFETCH(QByteArray, repeat);
            QFETCH(int, pauseMs);
            server = std::make_unique<Server>(head, repeat, pauseMs, closes);
            address = server->address;
        }
        const auto quietAgain = serveFrom(address);
        UpdateChecker checker;
        checker.tellUser([this](const QString &title, const QString &text) {
            m_dialogs->warning(nullptr, title, text); // recorded, none waits for a user
        });
        QSignalSpy finished(&checker, &UpdateChecker::finished);
        checker.start(1500);
        QVERIFY(finished.wait(5000));
        QCOMPARE(m_dialogs->asked, box.isEmpty() ? QStringList() : QStringList{box});
        if (!server)
            return;
        server->wait();
        QCOMPARE(server->request,
                 "POST /apps/updates/check.php HTTP/1.1\r\nHost: " + address.toLatin1() +
                     "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                     "Content-Length: 26\r\n\r\napp=keyquill&version=1.0.0");
        QVERIFY2(closes || server->clientClosed, "the client left the connection open");
        QVERIFY2(server->sent < 1024 * 1024, QByteArray::number(server->sent));
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

        // The window asks at its start, and tells once the user comes to it.
        Server server("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nYES", QByteArray(), 0, true);
        const auto quietAgain = serveFrom(server.address);
        remake({KEYQUILL_UPDATE_CHECK_ENABLED != 0});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        QTRY_COMPARE(m_dialogs->asked,
                     KEYQUILL_UPDATE_CHECK_ENABLED ? QStringList{UpdateBox} : QStringList());
        auto *ads = m_window->findChild<QTextBrowser *>("ads");
        const QString page = ads->toHtml();
        const QList<QUrl> links = {Vendor + "/corvane_key_quill.php", Vendor + "/donate.php", Mail};
        for (const QUrl &link : links)
            QVERIFY2(clickLink(ads, link.toString()), qPrintable(link.toString()));
        QCOMPARE(m_opened.mid(1), links);
        QCOMPARE(ads->toHtml(), page);
        trigger("&Instructions");
        QCOMPARE(m_opened.mid(1), links + QList<QUrl>{links.first()});
    }
};

QTEST_MAIN(TestOnline)
#include "tst_online.moc"
