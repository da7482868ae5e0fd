#include "livemaster.h"

#include "engine/keyregistration.h"
#include "store/lastlivemaster.h"
#include "store/macrostore.h"
#include "store/storesnapshot.h"

LiveMaster::LiveMaster(const MacroStore &store, KeyRegistration &keys, QObject *parent)
    : QObject(parent), m_store(store), m_keys(keys)
{
    connect(&m_keys, &KeyRegistration::pressed, this, &LiveMaster::pressed);
}

LiveMaster::~LiveMaster()
{
    if (!m_name.isEmpty())
        m_keys.letGo();
}

void LiveMaster::choose(const QString &master)
{
    if (master == m_name)
        return;
    m_name = master;
    m_codes.clear();
    m_order.clear();
    m_names.clear();
    m_read.reset();
    if (master.isEmpty())
        m_keys.letGo();
    else
        reload();
    remember();
    Q_EMIT liveChanged(m_name);
}

void LiveMaster::reload()
{
    if (m_name.isEmpty())
        return;
    readNotes();
    hold();
}

void LiveMaster::storeChanged()
{
    if (m_name.isEmpty())
        return;
    if (!m_store.snapshot()->master(m_name))
        return choose(QString());
    // Texts alone are looked up at the press; only another set of hot keys is grabbed anew.
    if (readNotes())
        hold();
}

void LiveMaster::hold()
{
    m_keys.hold(m_order);
}

bool LiveMaster::readNotes()
{
    const std::shared_ptr<const StoreSnapshot> now = m_store.snapshot();
    const StoreSnapshot::Master *master = now->master(m_name);
    const StoreSnapshot::Master *before = m_read ? m_read->master(m_name) : nullptr;
    m_read = now;
    // A reading that left this master macro as it was shares its notes with the last one.
    if (master && before && master->notes.isSharedWith(before->notes))
        return false;
    const QHash<QString, int> codesBefore = m_codes;
    m_codes.clear();
    m_order.clear();
    m_names.clear();
    if (master) {
        m_codes.reserve(master->notes.size());
        m_order.reserve(master->notes.size());
        for (const StoreSnapshot::Note &note : master->notes) {
            m_order.append(note.code);
            m_codes.insert(note.name, note.code);
            if (note.code != 0 && !m_names.contains(note.code))
                m_names.insert(note.code, note.name);
        }
    }
    return m_codes != codesBefore;
}

void LiveMaster::pressed(int code)
{
    // A press costs a look at the file's stamp; the notes are read again only when it changed.
    if (m_store.snapshot() != m_read)
        readNotes();
    const auto it = m_names.constFind(code);
    if (it != m_names.constEnd())
        Q_EMIT requested({DeliveryRequest::Way::HotKey, m_name, *it, code, 0});
}

void LiveMaster::renamed(const QString &from, const QString &to)
{
    if (!isLive(from))
        return;
    m_name = to;
    readNotes();
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
    if (!kept.isEmpty() && m_store.snapshot()->master(kept))
        choose(kept);
}

void LiveMaster::remember()
{
    if (m_remember && !LastLiveMaster::write(m_name))
        Q_EMIT rememberFailed();
}
