#include "storeprints.h"

#include "store/macrostore.h"

#include <QDataStream>
#include <QSettings>

namespace {

// FNV-1a: the same on every machine and with every Qt version, as prints are kept on disk.
quint64 fnv(const void *data, qsizetype size, quint64 hash = 0xcbf29ce484222325ULL)
{
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (qsizetype i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001b3ULL;
    return hash;
}

quint64 fnv(const QString &text, quint64 hash)
{
    return fnv(text.constData(), text.size() * qsizetype(sizeof(QChar)), hash);
}

quint64 mixed(quint64 x)
{
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

} // namespace

quint64 StorePrints::of(int code, const QString &text)
{
    const qint32 code32 = code;
    const quint64 print = fnv(text, fnv(&code32, sizeof code32));
    return print == Absent ? Master + 1 : print;
}

quint64 StorePrints::empty()
{
    return of(0, QString());
}

quint64 StorePrints::at(const Version &version, const QString &master, const QString &note)
{
    const auto it = version.constFind(master);
    return it == version.constEnd() ? Absent : it->value(note, Absent);
}

StorePrints::Version StorePrints::read(QSettings &store)
{
    Version version;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    const QStringList masters = store.childGroups();
    for (const QString &master : masters)
        version.insert(master, readMaster(store, master));
    store.endGroup();
    return version;
}

StorePrints::Notes StorePrints::readMaster(QSettings &store, const QString &master)
{
    Notes notes;
    notes.insert(QString(), Master);
    store.beginGroup(master + QLatin1Char('/') + MacroStore::MacrosGroup);
    const QStringList names = store.childGroups();
    for (const QString &name : names) {
        store.beginGroup(name);
        notes.insert(name, of(MacroStore::readCode(store), MacroStore::readText(store)));
        store.endGroup();
    }
    store.endGroup();
    return notes;
}

quint64 StorePrints::digest(const Version &version)
{
    // A sum: the order the notes come in does not count.
    quint64 sum = 0;
    for (auto master = version.cbegin(); master != version.cend(); ++master)
        for (auto note = master->cbegin(); note != master->cend(); ++note)
            sum += term(master.key(), note.key(), note.value());
    return sum;
}

quint64 StorePrints::term(const QString &master, const QString &note, quint64 print)
{
    if (print == Absent)
        return 0;
    const quint64 name = fnv(note, mixed(fnv(master, 0xcbf29ce484222325ULL)));
    return mixed(name ^ mixed(print));
}

void StorePrints::apply(Version &version, const QList<Change> &changes, bool forward)
{
    for (const Change &change : changes) {
        const quint64 value = forward ? change.after : change.before;
        if (value != Absent) {
            version[change.master].insert(change.note, value);
            continue;
        }
        const auto master = version.find(change.master);
        if (master == version.end())
            continue;
        master->remove(change.note);
        if (master->isEmpty())
            version.erase(master);
    }
}

QList<StorePrints::Change> StorePrints::changes(const Version &from, const Version &to)
{
    QList<Change> result;
    for (auto master = to.cbegin(); master != to.cend(); ++master)
        for (auto note = master->cbegin(); note != master->cend(); ++note) {
            const quint64 before = at(from, master.key(), note.key());
            if (before != note.value())
                result.append({master.key(), note.key(), before, note.value()});
        }
    for (auto master = from.cbegin(); master != from.cend(); ++master)
        for (auto note = master->cbegin(); note != master->cend(); ++note)
            if (at(to, master.key(), note.key()) == Absent)
                result.append({master.key(), note.key(), note.value(), Absent});
    return result;
}

QDataStream &StorePrints::operator<<(QDataStream &out, const Change &change)
{
    return out << change.master << change.note << change.before << change.after;
}

QDataStream &StorePrints::operator>>(QDataStream &in, Change &change)
{
    return in >> change.master >> change.note >> change.before >> change.after;
}
