#pragma once

#include <memory>
#include <QObject>

// Whether an X11 notification area (the holder of the _NET_SYSTEM_TRAY selection) runs, and
// word when one comes or goes. Always absent on other platforms.
class XEmbedTrayWatch final : public QObject
{
    Q_OBJECT

public:
    explicit XEmbedTrayWatch(QObject *parent = nullptr);
    ~XEmbedTrayWatch() override;

    bool isPresent() const;

Q_SIGNALS:
    void changed();

private:
    struct Watch;
    std::unique_ptr<Watch> m_watch;
};
