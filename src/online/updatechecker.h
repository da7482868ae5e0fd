#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

class QNetworkReply;

// The start-up question to the update server. Emits updateAvailable() when the answer offers
// one, failed() when the server could not be asked; an answer of any other kind is silent. The
// answer is read up to UpdateQuery::MaxAnswerSize: whatever the server sends (an endless
// header line, an endless body), memory stays bounded and the check ends.
class UpdateChecker final : public QObject
{
    Q_OBJECT

public:
    // The whole exchange, from the request to the last byte of the answer.
    static constexpr int TimeoutMs = 30000;

    explicit UpdateChecker(QObject *parent = nullptr);

    // Sends the query; does nothing in a build without the update check.
    void start();

    // The client the query goes through (the update-check tests watch its replies).
    QNetworkAccessManager &network() { return m_http; }

Q_SIGNALS:
    void updateAvailable();
    void failed(const QString &description);

private:
    void finished(QNetworkReply *reply);

    QNetworkAccessManager m_http;
};
