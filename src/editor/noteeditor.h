#pragma once

#include "store/macrostore.h"

#include <memory>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class Dialogs;

namespace Ui {
class NoteEditor;
}

// The note editor: shows the selected note's hot key and text, becomes dirty on the first edit,
// marks the keys other notes of the master macro already hold and the console-switch keys, and
// saves (refusing a hot key another note holds or one that can never fire) or reverts.
class NoteEditor final : public QWidget
{
    Q_OBJECT

public:
    // Lines of the delivered text the preview shows, each elided to its width.
    static constexpr int PreviewLines = 3;

    explicit NoteEditor(QWidget *parent = nullptr);
    ~NoteEditor() override;

    // What the editor reads and writes, and how it asks; until then it shows nothing.
    void attach(MacroStore &store, Dialogs &dialogs);

    // Shows a note of `master`, or with an empty `note` a master macro (or nothing, with both
    // empty): the inputs are then cleared and disabled. Showing is no edit: the editor is clean.
    void showNote(const QString &master, const QString &note);
    bool isDirty() const { return m_dirty; }
    QString master() const { return m_master; }
    QString note() const { return m_note; }
    // The code the inputs make now, and the text.
    int code() const;
    QString text() const;
    QString abbreviation() const;
    // The abbreviation field is shown only while abbreviations are replaced; hidden, a save
    // leaves the stored abbreviation as it is.
    void setAbbreviationShown(bool shown);
    // Puts `code` and `text` into the inputs of the note shown, as if typed: the editor is dirty.
    void edit(int code, const QString &text);
    // The note on disk is no longer as the editor showed it (another machine changed it).
    bool changedOnDisk() const;

public Q_SLOTS:
    // With the placeholders on, a line under the text shows what it delivers now.
    void setFillIn(bool on);
    // True when the note was saved or nothing needed saving; false leaves the edits in place.
    bool save();
    void revert();

Q_SIGNALS:
    void dirtyChanged(bool dirty);
    void saved(const QString &master, const QString &note, int code);

private Q_SLOTS:
    void on_btnRevert_clicked() { revert(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillKeyList();
    void edited();
    void setDirty(bool dirty);
    void markUsedKeys();
    // As the store holds it now; one without hot key or text where it is gone, as the settings
    // layer reads a missing note.
    MacroStore::Note storedNote(const QString &master, const QString &note) const;
    void showPreview();
    void fitPreview();
    void warn(const QString &text);

    // The note changed on disk since it was shown: true to save over it anyway (the user said
    // so), false when the user took the other version or cancelled.
    bool keepMine();

    std::unique_ptr<Ui::NoteEditor> ui;
    MacroStore *m_store = nullptr;
    MacroStore::Note m_shown; // as read when shown or saved
    Dialogs *m_dialogs = nullptr;
    QIcon m_inUseIcon;
    QString m_master;
    QString m_note;
    bool m_dirty = false;
    bool m_fillIn = false;
    // The preview is worked out once the user pauses, not on every key.
    QTimer m_previewTimer;
    QTimer m_releaseTimer; // the heap given back after saves
    static constexpr int ReleaseAfterMs = 1000;
    QStringList m_previewLines; // the delivered text's, before they are fitted to the width
    QStringList m_previewWarnings;
    int m_previewWidth = -1; // what they were fitted to
};
