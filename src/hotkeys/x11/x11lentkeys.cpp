#include "x11lentkeys.h"

#include <cerrno>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <X11/Xlib.h>

namespace {

constexpr char Prefix[] = "keyquill-lent-keys-";
constexpr qsizetype MaxNote = 64 * 1024; // far more than 256 keycodes can take

bool isPrivateFolder(const QByteArray &path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// $XDG_RUNTIME_DIR, else the folder of ours in the temporary folder that the guard uses too.
QString privateFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return QFile::decodeName(runtime);
    const QByteArray own =
        QFile::encodeName(QDir::tempPath()) + "/keyquill-" + QByteArray::number(::geteuid());
    ::mkdir(own.constData(), 0700);
    return isPrivateFolder(own) ? QFile::decodeName(own) : QString();
}

// ":0.0" and ":0" are one display.
QByteArray displayOnly(const QByteArray &name)
{
    const qsizetype colon = name.lastIndexOf(':');
    const qsizetype dot = name.indexOf('.', colon);
    return colon >= 0 && dot > colon ? name.left(dot) : name;
}

QByteArray readAll(int fd)
{
    QByteArray bytes;
    char chunk[4096];
    ssize_t length = 0;
    while (bytes.size() < MaxNote && (length = ::read(fd, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, length);
    return bytes;
}

// "display <name>" and a line "<keycode> <keysym>" per lent key.
QByteArray noteText(const QByteArray &display, const QHash<uint8_t, unsigned long> &lent)
{
    QByteArray text = "display " + display + '\n';
    for (auto it = lent.cbegin(); it != lent.cend(); ++it)
        text +=
            QByteArray::number(it.key()) + ' ' + QByteArray::number(qulonglong(it.value())) + '\n';
    return text;
}

// Whether `note` was left on `display` (or is empty: its process ended before it lent a key),
// and then the keys it names.
bool leftOn(const QByteArray &display, const QByteArray &note, QList<X11KeyLending> *keys)
{
    const QList<QByteArray> lines = note.split('\n');
    if (!note.isEmpty() && lines.value(0) != "display " + display)
        return false;
    for (const QByteArray &line : lines.mid(1)) {
        const QList<QByteArray> fields = line.split(' ');
        bool keycodeRead = false;
        bool keysymRead = false;
        const uint keycode = fields.value(0).toUInt(&keycodeRead);
        const qulonglong keysym = fields.value(1).toULongLong(&keysymRead);
        if (fields.size() == 2 && keycodeRead && keysymRead && keycode <= 255 && keysym != 0)
            keys->append({uint8_t(keycode), 0, 0, static_cast<unsigned long>(keysym)});
    }
    return true;
}

} // namespace

X11LentKeys::X11LentKeys(const QByteArray &displayName) : m_display(displayOnly(displayName))
{
    m_giveBack.setSingleShot(true);
    m_giveBack.setInterval(GiveBackMs);
    QObject::connect(&m_giveBack, &QTimer::timeout, [this] { giveBackNow(); });
    const QString folder = privateFolder();
    if (folder.isEmpty())
        return;
    QList<X11KeyLending> leftovers;
    QStringList ended;
    const QStringList notes =
        QDir(folder).entryList({QLatin1String(Prefix) + QLatin1Char('*')}, QDir::Files);
    for (const QString &name : notes) {
        if (name.endsWith(QLatin1String(".new")))
            continue; // being made by a start right now
        const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + name);
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd == -1)
            continue;
        // Locked: its process still lives and gives its keys back itself.
        struct stat info;
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (leftOn(m_display, readAll(fd), &leftovers))
                ended << QFile::decodeName(path);
        }
        ::close(fd);
    }
    if (!leftovers.isEmpty()) {
        if (Display *display = XOpenDisplay(displayName.constData())) {
            x11LendKeysyms(display, leftovers);
            XCloseDisplay(display);
            m_givenBack = int(leftovers.size());
        } else {
            ended.clear(); // left for a start that can reach the display
        }
    }
    for (const QString &path : std::as_const(ended))
        QFile::remove(path);

    // Made under a name no start looks at, and locked before it is given its own.
    const QString file =
        folder + QLatin1Char('/') + QLatin1String(Prefix) + QString::number(::getpid());
    const QByteArray making = QFile::encodeName(file + QLatin1String(".new"));
    m_fd = ::open(making.constData(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_fd != -1 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0 &&
        ::rename(making.constData(), QFile::encodeName(file).constData()) == 0) {
        m_file = file;
        return;
    }
    if (m_fd != -1)
        ::close(m_fd);
    ::unlink(making.constData());
    m_fd = -1;
}

X11LentKeys::~X11LentKeys()
{
    if (m_giveBack.isActive())
        giveBackNow();
    if (m_fd == -1)
        return;
    // Keys still noted stay noted: the next start gives them back.
    if (m_lent.isEmpty())
        QFile::remove(m_file);
    ::close(m_fd);
}

void X11LentKeys::lend(_XDisplay *display, const QList<X11KeyLending> &lendings)
{
    bool more = false;
    for (const X11KeyLending &lending : lendings) {
        if (lending.keysym != 0 && m_lent.value(lending.keycode) != lending.keysym) {
            m_lent.insert(lending.keycode, lending.keysym);
            more = true;
        }
    }
    if (more)
        note();
    x11LendKeysyms(display, lendings);
    bool fewer = false;
    for (const X11KeyLending &lending : lendings)
        fewer = (lending.keysym == 0 && m_lent.remove(lending.keycode) > 0) || fewer;
    if (fewer)
        note();
}

uint8_t X11LentKeys::keycodeOf(unsigned long keysym) const
{
    for (auto it = m_lent.cbegin(); it != m_lent.cend(); ++it) {
        if (it.value() == keysym)
            return it.key();
    }
    return 0;
}

void X11LentKeys::keepForNow()
{
    if (!m_lent.isEmpty())
        m_giveBack.start();
}

void X11LentKeys::giveBackNow()
{
    m_giveBack.stop();
    if (m_lent.isEmpty())
        return;
    Display *display = XOpenDisplay(m_display.constData());
    if (!display)
        return;
    QList<X11KeyLending> lendings;
    for (auto it = m_lent.cbegin(); it != m_lent.cend(); ++it)
        lendings.append({it.key(), 0, 0, it.value()});
    lend(display, lendings);
    XCloseDisplay(display);
}

// Written over in place. Should a kill come between the two calls, the lines left over name keys
// lent before, and a key is given back only while it still holds the symbol named.
bool X11LentKeys::note()
{
    if (m_fd == -1)
        return false;
    const QByteArray text = noteText(m_display, m_lent);
    return ::pwrite(m_fd, text.constData(), size_t(text.size()), 0) == text.size() &&
           ::ftruncate(m_fd, text.size()) == 0;
}
