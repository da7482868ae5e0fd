#pragma once

#include "online/boundedhttppost.h"

#include <functional>
#include <QObject>
#include <QString>

// The start-up question to the update server. Emits updateAvailable() when the answer offers
// one, failed() when the server could not be asked; an answer of any other kind is silent, and
// so is an answer cut off for its size or the deadline. Whatever the server sends, the reading
// stays bounded (BoundedHttpPost) and the connection is closed at the deadline.
class UpdateChecker final : public QObject
{
    Q_OBJECT

public:
    // The whole exchange, from the connection to the last byte of the answer.
    static constexpr int DeadlineMs = 30000;

    explicit UpdateChecker(QObject *parent = nullptr);

    // Sends the query; does nothing in a build without the update check.
    void start(int deadlineMs = DeadlineMs);
    // Hands what the user is to be told (an update offered, a server that could not be asked) to
    // `warn`, as the title and text of a warning box.
    void tellUser(std::function<void(const QString &title, const QString &text)> warn);

Q_SIGNALS:
    void updateAvailable();
    void failed(const QString &description);
    // The check is over, whatever came of it; after the signals above.
    void finished();

private:
    void answered();

    BoundedHttpPost m_post;
};
