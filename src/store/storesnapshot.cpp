#include "storesnapshot.h"

#include <algorithm>

StoreSnapshot::StoreSnapshot(QList<Master> masters, const MacroStore::Stamp &stamp)
    : m_masters(std::move(masters)), m_stamp(stamp)
{
    index();
}

void StoreSnapshot::index()
{
    m_positions.clear();
    m_positions.reserve(m_masters.size());
    for (qsizetype i = 0; i < m_masters.size(); ++i)
        m_positions.insert(m_masters.at(i).name, i);
}

const StoreSnapshot::Master *StoreSnapshot::master(const QString &name) const
{
    const auto it = m_positions.constFind(name);
    return it == m_positions.constEnd() ? nullptr : &m_masters.at(*it);
}

const StoreSnapshot::Note *StoreSnapshot::note(const QString &master, const QString &name) const
{
    const Master *found = this->master(master);
    if (!found)
        return nullptr;
    for (const Note &note : found->notes) {
        if (note.name == name)
            return &note;
    }
    return nullptr;
}

const NoteMatcher &StoreSnapshot::matcher() const
{
    if (!m_matcher)
        m_matcher = std::make_shared<const NoteMatcher>(m_masters);
    return *m_matcher;
}

qsizetype StoreSnapshot::noteCount() const
{
    qsizetype count = 0;
    for (const Master &master : m_masters)
        count += master.notes.size();
    return count;
}

StoreSnapshot StoreSnapshot::with(const QString &master, const QList<Note> &notes, bool gone,
                                  const MacroStore::Stamp &stamp) const
{
    // The other master macros' note lists stay shared with this snapshot.
    QList<Master> masters = m_masters;
    const auto it = m_positions.constFind(master);
    if (it != m_positions.constEnd() && gone)
        masters.removeAt(*it);
    else if (it != m_positions.constEnd())
        masters[*it].notes = notes;
    else if (!gone) // where a reading of the file would put it: the settings layer sorts names
        masters.insert(std::lower_bound(
                           masters.cbegin(), masters.cend(), master,
                           [](const Master &one, const QString &name) { return one.name < name; }) -
                           masters.cbegin(),
                       {master, notes});
    return StoreSnapshot(std::move(masters), stamp);
}
