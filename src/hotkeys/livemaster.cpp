#include "livemaster.h"

#include "hotkeys/hotkeycontroller.h"
#include "store/lastlivemaster.h"

namespace {

template <typename Key> bool found(const QHash<Key, QString> &table, const Key &key, QString *text)
{
    const auto it = table.constFind(key);
    if (it == table.constEnd())
        return false;
    *text = *it;
    return true;
}

} // namespace

LiveMaster::LiveMaster(MacroStore &store, HotKeyController &keys, QObject *parent)
    : QObject(parent), m_store(store), m_keys(keys)
{
    m_keys.setNotes([this](int code) { return nameOf(code); },
                    [this](const QString &note, QString *text) { return textOf(note, text); });
}

LiveMaster::~LiveMaster()
{
    // The controller would otherwise look texts up here after this is gone.
    if (!m_name.isEmpty())
        m_keys.deactivate();
    m_keys.setNotes({}, {});
}

void LiveMaster::choose(const QString &master)
{
    if (master == m_name)
        return;
    m_name = master;
    if (master.isEmpty()) {
        m_codes.clear();
        m_texts.clear();
        m_names.clear();
        m_byName.clear();
        m_keys.deactivate();
    } else {
        reload();
    }
    remember();
    Q_EMIT liveChanged(m_name);
}

void LiveMaster::reload()
{
    if (m_name.isEmpty())
        return;
    const QList<int> codes = readNotes();
    m_keys.activate(m_name, codes, [this](int code, QString *text) { return lookup(code, text); });
}

void LiveMaster::storeChanged()
{
    if (m_name.isEmpty())
        return;
    if (!m_store.masters().contains(m_name))
        return choose(QString());
    const QHash<QString, int> before = m_codes;
    const QList<int> codes = readNotes();
    // Texts alone are looked up at the press; only another set of hot keys is grabbed anew.
    if (m_codes != before)
        m_keys.activate(m_name, codes,
                        [this](int code, QString *text) { return lookup(code, text); });
}

QList<int> LiveMaster::readNotes()
{
    m_read = m_store.stamp();
    m_codes.clear();
    m_texts.clear();
    m_names.clear();
    m_byName.clear();
    const QList<MacroStore::Note> notes = m_store.notes(m_name);
    QList<int> codes;
    codes.reserve(notes.size());
    m_codes.reserve(notes.size());
    for (const MacroStore::Note &note : notes) {
        codes.append(note.code);
        m_codes.insert(note.name, note.code);
        m_byName.insert(note.name, note.text);
        if (note.code != 0 && !m_texts.contains(note.code)) {
            m_texts.insert(note.code, note.text);
            m_names.insert(note.code, note.name);
        }
    }
    return codes;
}

void LiveMaster::readIfChanged()
{
    // A press costs a look at the file's stamp; the notes are read again only when it changed.
    if (m_store.stamp() != m_read)
        readNotes();
}

bool LiveMaster::lookup(int code, QString *text)
{
    readIfChanged();
    return found(m_texts, code, text);
}

QString LiveMaster::nameOf(int code)
{
    readIfChanged();
    return m_names.value(code);
}

bool LiveMaster::textOf(const QString &note, QString *text)
{
    readIfChanged();
    return found(m_byName, note, text);
}

void LiveMaster::renamed(const QString &from, const QString &to)
{
    if (!isLive(from))
        return;
    m_name = to;
    m_keys.renameActive(to);
    remember();
    Q_EMIT liveChanged(m_name);
}

void LiveMaster::removed(const QString &master)
{
    if (isLive(master))
        choose(QString());
}

void LiveMaster::setRemembered(bool remember)
{
    m_remember = remember;
    if (remember)
        this->remember();
    else if (!LastLiveMaster::forget())
        Q_EMIT rememberFailed();
}

void LiveMaster::chooseRemembered()
{
    const QString kept = LastLiveMaster::read();
    if (!kept.isEmpty() && m_store.masters().contains(kept))
        choose(kept);
}

void LiveMaster::remember()
{
    if (m_remember && !LastLiveMaster::write(m_name))
        Q_EMIT rememberFailed();
}
