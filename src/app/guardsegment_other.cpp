// The guard where System V IPC is not the platform's (Windows): Qt's named shared memory, which
// is private to the user's session there.
#include "guardsegment.h"

#include <QCoreApplication>
#include <QSharedMemory>

struct GuardSegment::Private
{
    QSharedMemory memory;
    QString problem;
};

GuardSegment::GuardSegment(const QString &base) : d(std::make_unique<Private>())
{
    d->memory.setKey(base);
}

GuardSegment::~GuardSegment() = default;

int GuardSegment::publishedKey(const QString &)
{
    return -1;
}

bool GuardSegment::isHeld(const QString &base)
{
    QSharedMemory memory(base);
    return memory.attach(QSharedMemory::ReadOnly);
}

GuardSegment::Found GuardSegment::open()
{
    if (d->memory.create(Size, QSharedMemory::ReadWrite))
        return Found::Created;
    if (d->memory.error() == QSharedMemory::AlreadyExists &&
        d->memory.attach(QSharedMemory::ReadWrite)) {
        if (d->memory.size() >= Size)
            return Found::Live;
        d->memory.detach();
        d->problem = QCoreApplication::translate("SingleInstanceGuard",
                                                 "The guard found a shared segment of %1 bytes "
                                                 "instead of %2; it was left alone.")
                         .arg(d->memory.size())
                         .arg(Size);
        return Found::Failed;
    }
    d->problem = QCoreApplication::translate("SingleInstanceGuard",
                                             "The guard's shared memory cannot be created: %1.")
                     .arg(d->memory.errorString());
    return Found::Failed;
}

QString GuardSegment::problem() const
{
    return d->problem;
}

char *GuardSegment::data() const
{
    return d->memory.isAttached() ? static_cast<char *>(d->memory.data()) : nullptr;
}

bool GuardSegment::lock(int)
{
    // Qt's lock has no timeout; the session's objects are the user's own here.
    return d->memory.isAttached() && d->memory.lock();
}

void GuardSegment::unlock()
{
    d->memory.unlock();
}
