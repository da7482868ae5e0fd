// The guard where there is no POSIX (Windows): Qt's named shared memory, which is private to the
// user's session there. A message is a text at byte 0; byte 0 cleared means none is pending.
#include "guardchannel.h"

#include <cstring>
#include <QCoreApplication>
#include <QSharedMemory>

namespace {

constexpr int Size = GuardChannel::MaxMessage + 1;

} // namespace

struct GuardChannel::Private
{
    QSharedMemory memory;
    QString problem;
    bool first = false;
};

GuardChannel::GuardChannel(const QString &base) : d(std::make_unique<Private>())
{
    d->memory.setKey(base);
}

GuardChannel::~GuardChannel() = default;

bool GuardChannel::isHeld(const QString &base)
{
    QSharedMemory memory(base);
    return memory.attach(QSharedMemory::ReadOnly);
}

GuardChannel::Found GuardChannel::open()
{
    if (d->memory.create(Size, QSharedMemory::ReadWrite)) {
        d->first = true;
        return Found::Created;
    }
    if (d->memory.error() == QSharedMemory::AlreadyExists) {
        // Taken is taken, reachable or not; send() checks what was found.
        d->memory.attach(QSharedMemory::ReadWrite);
        return Found::Live;
    }
    d->problem = QCoreApplication::translate("SingleInstanceGuard",
                                             "The guard's shared memory cannot be created: %1.")
                     .arg(d->memory.errorString());
    return Found::Failed;
}

QString GuardChannel::problem() const
{
    return d->problem;
}

bool GuardChannel::send(const QByteArray &message)
{
    if (d->first || message.size() > MaxMessage || !d->memory.isAttached() ||
        d->memory.size() < Size || !d->memory.lock())
        return false;
    std::memcpy(d->memory.data(), message.constData(), size_t(message.size()));
    static_cast<char *>(d->memory.data())[message.size()] = '\0';
    d->memory.unlock();
    return true;
}

QList<QByteArray> GuardChannel::receive()
{
    char *bytes = d->first ? static_cast<char *>(d->memory.data()) : nullptr;
    if (!bytes || bytes[0] == '\0' || !d->memory.lock())
        return {};
    const QByteArray text(bytes, int(qstrnlen(bytes, Size)));
    bytes[0] = '\0';
    d->memory.unlock();
    return {text};
}
