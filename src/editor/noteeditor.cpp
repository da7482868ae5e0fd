#include "noteeditor.h"

#include "hotkeys/consolekeys.h"
#include "store/macrostore.h"
#include "widgets/dialogs.h"

#include <algorithm>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QSet>
#include <QSignalBlocker>
#include <QStyle>
#include <QTextEdit>

NoteEditor::NoteEditor(MacroStore &store, Dialogs &dialogs, const Widgets &widgets, QObject *parent)
    : QObject(parent), m_store(store), m_dialogs(dialogs), m_ui(widgets),
      m_inUseIcon(QStringLiteral(":/images/icon_in_use.png"))
{
    fillKeyList();
    for (QCheckBox *box : {m_ui.ctrl, m_ui.alt, m_ui.shift})
        connect(box, &QCheckBox::clicked, this, &NoteEditor::edited);
    connect(m_ui.key, &QComboBox::currentIndexChanged, this, &NoteEditor::edited);
    connect(m_ui.text, &QTextEdit::textChanged, this, &NoteEditor::edited);
    connect(m_ui.update, &QPushButton::clicked, this, &NoteEditor::save);
}

void NoteEditor::fillKeyList()
{
    // F1..F12, 0..9, A..Z, each with its Qt key code as item data.
    for (int i = 0; i < 12; ++i)
        m_ui.key->addItem(tr(qPrintable(QStringLiteral("F%1").arg(i + 1))),
                          static_cast<int>(Qt::Key_F1) + i);
    for (char c = '0'; c <= '9'; ++c)
        m_ui.key->addItem(tr(QByteArray(1, c).constData()), static_cast<int>(c));
    for (char c = 'A'; c <= 'Z'; ++c)
        m_ui.key->addItem(tr(QByteArray(1, c).constData()), static_cast<int>(c));
    m_ui.key->setCurrentIndex(0);
}

void NoteEditor::show(const QString &master, const QString &note)
{
    m_master = master;
    m_note = note;
    // Filling the key list and the text would report edits, and an edit disables the tree,
    // which throws the keyboard focus out of it; what is loaded here is no edit.
    const QSignalBlocker keyBlocker(m_ui.key);
    const QSignalBlocker textBlocker(m_ui.text);
    const bool isNote = !note.isEmpty();
    for (QWidget *input : {static_cast<QWidget *>(m_ui.ctrl), static_cast<QWidget *>(m_ui.alt),
                           static_cast<QWidget *>(m_ui.shift), static_cast<QWidget *>(m_ui.key),
                           static_cast<QWidget *>(m_ui.text)})
        input->setEnabled(isNote);

    const MacroStore::Note stored = isNote ? m_store.note(master, note) : MacroStore::Note();
    m_ui.ctrl->setChecked(MacroStore::hasCtrl(stored.code));
    m_ui.alt->setChecked(MacroStore::hasAlt(stored.code));
    m_ui.shift->setChecked(MacroStore::hasShift(stored.code));
    m_ui.key->setCurrentIndex(isNote ? m_ui.key->findData(MacroStore::keyPart(stored.code),
                                                          Qt::UserRole,
                                                          Qt::MatchExactly | Qt::MatchCaseSensitive)
                                     : -1);
    // Plain text both ways: a note that looks like markup keeps its characters.
    m_ui.text->setPlainText(stored.text);
    setDirty(false);
    markUsedKeys();
}

int NoteEditor::code() const
{
    const int key = m_ui.key->currentIndex() >= 0 ? m_ui.key->currentData(Qt::UserRole).toInt() : 0;
    return MacroStore::buildCode(m_ui.ctrl->isChecked(), m_ui.alt->isChecked(),
                                 m_ui.shift->isChecked(), key);
}

void NoteEditor::edited()
{
    if (m_note.isEmpty())
        return;
    setDirty(true);
    markUsedKeys();
}

bool NoteEditor::save()
{
    if (m_note.isEmpty())
        return true;
    const int newCode = code();
    // Like a duplicate: refused with the reason, and the edits stay.
    if (const QString reason = ConsoleKeys::reason(newCode); !reason.isEmpty()) {
        m_dialogs.warning(m_ui.text->window(), QCoreApplication::applicationName(), reason);
        return false;
    }
    if (newCode != 0) {
        const QList<MacroStore::NoteCode> others = m_store.noteCodes(m_master);
        const bool taken =
            std::any_of(others.cbegin(), others.cend(), [&](const MacroStore::NoteCode &other) {
                return other.code == newCode && other.name != m_note;
            });
        if (taken) {
            m_dialogs.warning(m_ui.text->window(), QCoreApplication::applicationName(),
                              tr("Shortcut already assigned to another Note in this Master Macro"));
            return false;
        }
    }
    if (!m_store.saveNote(m_master, m_note, newCode, m_ui.text->toPlainText())) {
        // The edits stay in the dirty editor, so the user can try again once the disk allows.
        m_dialogs.warning(m_ui.text->window(), QCoreApplication::applicationName(),
                          tr("The Note \"%1\" was not saved: the macro store %2 cannot be "
                             "written.")
                              .arg(m_note, m_store.fileName()));
        return false;
    }
    setDirty(false);
    markUsedKeys();
    Q_EMIT saved(m_master, m_note, newCode);
    return true;
}

void NoteEditor::revert()
{
    show(m_master, m_note);
}

void NoteEditor::setDirty(bool dirty)
{
    m_ui.update->setEnabled(dirty);
    m_ui.revert->setEnabled(dirty);
    if (dirty == m_dirty)
        return;
    m_dirty = dirty;
    Q_EMIT dirtyChanged(dirty);
}

void NoteEditor::markUsedKeys()
{
    if (m_note.isEmpty())
        return;
    // Runs on every keystroke: the codes are read once here rather than once per key.
    QSet<int> taken;
    const QList<MacroStore::NoteCode> notes = m_store.noteCodes(m_master);
    for (const MacroStore::NoteCode &other : notes) {
        if (other.name != m_note)
            taken.insert(other.code);
    }
    const bool ctrl = m_ui.ctrl->isChecked();
    const bool alt = m_ui.alt->isChecked();
    const bool shift = m_ui.shift->isChecked();
    const QIcon none;
    const QIcon never = m_ui.key->style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int i = 0; i < m_ui.key->count(); ++i) {
        const int candidate =
            MacroStore::buildCode(ctrl, alt, shift, m_ui.key->itemData(i, Qt::UserRole).toInt());
        // A key that can never fire is marked apart from one that is merely taken.
        const QString reason = ConsoleKeys::reason(candidate);
        m_ui.key->setItemIcon(i, !reason.isEmpty()           ? never
                                 : taken.contains(candidate) ? m_inUseIcon
                                                             : none);
        m_ui.key->setItemData(i, reason.isEmpty() ? QVariant() : QVariant(reason), Qt::ToolTipRole);
    }
}
