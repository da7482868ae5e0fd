#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class Dialogs;
class MacroStore;
class QCheckBox;
class QComboBox;
class QPushButton;
class QTextEdit;

// The note editor: shows the selected note's hot key and text, becomes dirty on the first edit,
// marks the keys other notes of the master macro already hold and the console-switch keys, and
// saves (refusing a hot key another note holds or one that can never fire) or reverts. The
// widgets belong to the main window's form.
class NoteEditor final : public QObject
{
    Q_OBJECT

public:
    struct Widgets
    {
        QCheckBox *ctrl = nullptr;
        QCheckBox *alt = nullptr;
        QCheckBox *shift = nullptr;
        QComboBox *key = nullptr;
        QTextEdit *text = nullptr;
        QPushButton *update = nullptr;
        QPushButton *revert = nullptr;
    };

    NoteEditor(MacroStore &store, Dialogs &dialogs, const Widgets &widgets,
               QObject *parent = nullptr);

    // Shows a note of `master`, or with an empty `note` a master macro (or nothing, with both
    // empty): the inputs are then cleared and disabled. Showing is no edit: the editor is clean.
    void show(const QString &master, const QString &note);
    bool isDirty() const { return m_dirty; }
    QString master() const { return m_master; }
    QString note() const { return m_note; }
    // The code the inputs make now.
    int code() const;

public Q_SLOTS:
    // True when the note was saved or nothing needed saving; false leaves the edits in place.
    bool save();
    void revert();

Q_SIGNALS:
    void dirtyChanged(bool dirty);
    void saved(const QString &master, const QString &note, int code);

private:
    void fillKeyList();
    void edited();
    void setDirty(bool dirty);
    void markUsedKeys();

    MacroStore &m_store;
    Dialogs &m_dialogs;
    Widgets m_ui;
    QIcon m_inUseIcon;
    QString m_master;
    QString m_note;
    bool m_dirty = false;
};
