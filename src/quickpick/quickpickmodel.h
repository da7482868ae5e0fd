#pragma once

#include "core/notematcher.h"

#include <QAbstractTableModel>
#include <QList>

// The rows of the quick pick: the notes a query finds, best first, with the note's name, its
// master macro, the first line of its text and its hot key.
class QuickPickModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NoteColumn, MasterColumn, TextColumn, KeyColumn, ColumnCount };

    // `matcher` must outlive the model.
    explicit QuickPickModel(const NoteMatcher &matcher, QObject *parent = nullptr);

    // Shows what `query` finds.
    void setQuery(const QString &query);
    // The matcher's entry of `row`, -1 for none.
    int entryAt(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const NoteMatcher &m_matcher;
    QList<int> m_rows;
    QString m_query; // what m_rows were found for
};
