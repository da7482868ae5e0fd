#include "quickpickmodel.h"

#include "widgets/macrotreeitems.h"

QuickPickModel::QuickPickModel(const NoteMatcher &matcher, QObject *parent)
    : QAbstractTableModel(parent), m_matcher(matcher)
{
}

void QuickPickModel::setQuery(const QString &query)
{
    // Typing on narrows what was found; anything else searches every note again.
    const bool narrower = !m_query.isEmpty() && query.startsWith(m_query);
    beginResetModel();
    m_rows = narrower ? m_matcher.match(query, m_rows) : m_matcher.match(query);
    m_query = query;
    endResetModel();
}

int QuickPickModel::entryAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : -1;
}

int QuickPickModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int QuickPickModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant QuickPickModel::data(const QModelIndex &index, int role) const
{
    const int entry = entryAt(index.row());
    if (entry < 0 || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    const NoteMatcher::Entry &note = m_matcher.entry(entry);
    switch (index.column()) {
    case NoteColumn:
        return note.note;
    case MasterColumn:
        return note.master;
    case TextColumn:
        // The whole text as a tool tip; a line of it in the row.
        return role == Qt::ToolTipRole ? note.text : note.text.section(QLatin1Char('\n'), 0, 0);
    case KeyColumn:
        return MacroTreeItems::codeText(note.code);
    default:
        return QVariant();
    }
}

QVariant QuickPickModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case NoteColumn:
        return tr("Note");
    case MasterColumn:
        return tr("Master Macro");
    case TextColumn:
        return tr("Text");
    case KeyColumn:
        return tr("Hot key");
    default:
        return QVariant();
    }
}
