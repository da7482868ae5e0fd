#include "noteeditor.h"
#include "ui_noteeditor.h"

#include "core/consolekeys.h"
#include "core/fillin.h"
#include "store/macrostore.h"
#include "widgets/dialogs.h"
#include "widgets/heaprelease.h"

#include <algorithm>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSignalBlocker>
#include <QStyle>
#include <QTextEdit>
#include <utility>

namespace {

// A pause in typing this long updates the preview.
constexpr int PreviewPauseMs = 150;
// A line of the preview is cut to this many characters before it is elided to the width.
constexpr qsizetype PreviewLineChars = 500;

} // namespace

NoteEditor::NoteEditor(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::NoteEditor>()),
      m_inUseIcon(QStringLiteral(":/images/icon_in_use.png"))
{
    ui->setupUi(this);
    fillKeyList();
    m_previewTimer.setSingleShot(true);
    connect(&m_previewTimer, &QTimer::timeout, this, &NoteEditor::showPreview);
    m_releaseTimer.setSingleShot(true);
    m_releaseTimer.setInterval(ReleaseAfterMs);
    connect(&m_releaseTimer, &QTimer::timeout, this, [] { HeapRelease::release(); });
    ui->preview->installEventFilter(this);
    ui->groupAbbreviation->hide();
}

NoteEditor::~NoteEditor() = default;

void NoteEditor::attach(MacroStore &store, Dialogs &dialogs)
{
    m_store = &store;
    m_dialogs = &dialogs;
    for (QCheckBox *box : {ui->shortcutCtrl, ui->shortcutAlt, ui->shortcutShift})
        connect(box, &QCheckBox::clicked, this, &NoteEditor::edited);
    connect(ui->shortcutKey, &QComboBox::currentIndexChanged, this, &NoteEditor::edited);
    // A keystroke in the text touches nothing but the dirty state: the keys in use stay.
    connect(ui->macro, &QTextEdit::textChanged, this, [this] {
        if (!m_note.isEmpty() && m_store)
            setDirty(true);
    });
    connect(ui->macro, &QTextEdit::textChanged, this,
            [this] { m_previewTimer.start(PreviewPauseMs); });
    connect(ui->abbreviation, &QLineEdit::textEdited, this, [this] {
        if (!m_note.isEmpty() && m_store)
            setDirty(true);
    });
    connect(ui->btnUpdate, &QPushButton::clicked, this, &NoteEditor::save);
}

void NoteEditor::warn(const QString &text)
{
    m_dialogs->warning(window(), QCoreApplication::applicationName(), text);
}

void NoteEditor::fillKeyList()
{
    // F1..F12, 0..9, A..Z, each with its Qt key code as item data.
    for (int i = 0; i < 12; ++i)
        ui->shortcutKey->addItem(tr(qPrintable(QStringLiteral("F%1").arg(i + 1))),
                                 static_cast<int>(Qt::Key_F1) + i);
    for (char c = '0'; c <= '9'; ++c)
        ui->shortcutKey->addItem(tr(QByteArray(1, c).constData()), static_cast<int>(c));
    for (char c = 'A'; c <= 'Z'; ++c)
        ui->shortcutKey->addItem(tr(QByteArray(1, c).constData()), static_cast<int>(c));
    ui->shortcutKey->setCurrentIndex(0);
}

void NoteEditor::showNote(const QString &master, const QString &note)
{
    m_master = master;
    m_note = note;
    // Filling the key list and the text would report edits, and an edit disables the tree,
    // which throws the keyboard focus out of it; what is loaded here is no edit.
    const QSignalBlocker keyBlocker(ui->shortcutKey);
    const QSignalBlocker textBlocker(ui->macro);
    const bool isNote = !note.isEmpty();
    for (QWidget *input :
         {static_cast<QWidget *>(ui->shortcutCtrl), static_cast<QWidget *>(ui->shortcutAlt),
          static_cast<QWidget *>(ui->shortcutShift), static_cast<QWidget *>(ui->shortcutKey),
          static_cast<QWidget *>(ui->macro), static_cast<QWidget *>(ui->abbreviation)})
        input->setEnabled(isNote);

    const MacroStore::Note stored =
        isNote ? storedNote(master, note) : MacroStore::Note{note, 0, QString(), QString()};
    ui->shortcutCtrl->setChecked(MacroStore::hasCtrl(stored.code));
    ui->shortcutAlt->setChecked(MacroStore::hasAlt(stored.code));
    ui->shortcutShift->setChecked(MacroStore::hasShift(stored.code));
    ui->shortcutKey->setCurrentIndex(
        isNote ? ui->shortcutKey->findData(MacroStore::keyPart(stored.code), Qt::UserRole,
                                           Qt::MatchExactly | Qt::MatchCaseSensitive)
               : -1);
    // Plain text both ways: a note that looks like markup keeps its characters.
    ui->macro->setPlainText(stored.text);
    ui->abbreviation->setText(stored.abbreviation);
    m_shown = stored;
    setDirty(false);
    markUsedKeys();
    m_previewTimer.start(0);
}

int NoteEditor::code() const
{
    const int key = ui->shortcutKey->currentIndex() >= 0
                        ? ui->shortcutKey->currentData(Qt::UserRole).toInt()
                        : 0;
    return MacroStore::buildCode(ui->shortcutCtrl->isChecked(), ui->shortcutAlt->isChecked(),
                                 ui->shortcutShift->isChecked(), key);
}

QString NoteEditor::text() const
{
    return ui->macro->toPlainText();
}

QString NoteEditor::abbreviation() const
{
    return ui->abbreviation->text();
}

void NoteEditor::setAbbreviationShown(bool shown)
{
    ui->groupAbbreviation->setVisible(shown);
}

void NoteEditor::edit(int code, const QString &text)
{
    ui->shortcutCtrl->setChecked(MacroStore::hasCtrl(code));
    ui->shortcutAlt->setChecked(MacroStore::hasAlt(code));
    ui->shortcutShift->setChecked(MacroStore::hasShift(code));
    ui->shortcutKey->setCurrentIndex(ui->shortcutKey->findData(
        MacroStore::keyPart(code), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive));
    ui->macro->setPlainText(text);
    edited();
}

void NoteEditor::edited()
{
    if (m_note.isEmpty() || !m_store)
        return;
    setDirty(true);
    markUsedKeys();
}

bool NoteEditor::save()
{
    if (m_note.isEmpty() || !m_store)
        return true;
    const int newCode = code();
    // Like a duplicate: refused with the reason, and the edits stay.
    if (const QString reason = ConsoleKeys::reason(newCode); !reason.isEmpty()) {
        warn(reason);
        return false;
    }
    if (newCode != 0) {
        const QList<MacroStore::Note> others = m_store->notesNow(m_master);
        const bool taken =
            std::any_of(others.cbegin(), others.cend(), [&](const MacroStore::Note &other) {
                return other.code == newCode && other.name != m_note;
            });
        if (taken) {
            warn(tr("Shortcut already assigned to another Note in this Master Macro"));
            return false;
        }
    }
    const bool withAbbreviation = !ui->groupAbbreviation->isHidden();
    const QString abbreviation = withAbbreviation ? ui->abbreviation->text() : m_shown.abbreviation;
    if (withAbbreviation && !abbreviation.isEmpty()) {
        if (!MacroStore::isAbbreviation(abbreviation)) {
            warn(tr("An abbreviation has 1 to %1 characters and no white space.")
                     .arg(MacroStore::AbbreviationMaxLength));
            return false;
        }
        const QList<MacroStore::Note> others = m_store->notesNow(m_master);
        const bool taken =
            std::any_of(others.cbegin(), others.cend(), [&](const MacroStore::Note &other) {
                return other.abbreviation == abbreviation && other.name != m_note;
            });
        if (taken) {
            warn(tr("Abbreviation already assigned to another Note in this Master Macro"));
            return false;
        }
    }
    if (changedOnDisk() && !keepMine())
        return !m_dirty;
    const QString text = ui->macro->toPlainText();
    const std::optional<QString> abbreviationSaved =
        withAbbreviation ? std::optional<QString>(abbreviation) : std::nullopt;
    if (!m_store->saveNote(m_master, m_note, newCode, text, abbreviationSaved)) {
        // The edits stay in the dirty editor, so the user can try again once the disk allows.
        warn(tr("The Note \"%1\" was not saved: %2.").arg(m_note, m_store->cannotBeWritten()));
        return false;
    }
    m_shown = {m_note, newCode, text, abbreviation};
    setDirty(false);
    markUsedKeys();
    Q_EMIT saved(m_master, m_note, newCode);
    // A save writes and reads the whole file anew: what it freed goes back to the system once
    // everything that follows the store has read it again (a run of saves, once at its end).
    m_releaseTimer.start();
    return true;
}

void NoteEditor::setFillIn(bool on)
{
    m_fillIn = on;
    m_previewTimer.start(0);
}

// Inputs show as their labels in angle brackets, the caret's place as a caret mark; the other
// notes as last saved. The delivered text's first lines only, so that no note can make the
// window wider or taller.
void NoteEditor::showPreview()
{
    const bool shown = m_fillIn && !m_note.isEmpty() && m_store;
    ui->preview->setVisible(shown);
    if (!shown)
        return;
    FillIn fillIn(QDateTime::currentDateTime(),
                  [] { return QGuiApplication::clipboard()->text(); });
    QHash<QString, QString> notes;
    bool read = false;
    fillIn.setNotes([&](const QString &name, QString *text) {
        // All at once, the first time a note is included.
        if (!std::exchange(read, true)) {
            for (const MacroStore::Note &note : m_store->notesNow(m_master))
                notes.insert(note.name, note.text);
        }
        const auto it = notes.constFind(name);
        if (it == notes.constEnd())
            return false;
        *text = *it;
        return true;
    });
    fillIn.setInput([](const QString &, const QStringList &labels, QStringList *values) {
        for (const QString &label : labels)
            *values << QStringLiteral("<%1>").arg(label);
        return true;
    });
    FillIn::Result result = fillIn.expand(ui->macro->toPlainText(), m_note);
    if (result.cursorAt >= 0)
        result.text.insert(result.cursorAt, QChar(0x2038)); // ‸
    const QStringView text(result.text);
    m_previewLines.clear();
    for (qsizetype at = 0; m_previewLines.size() <= PreviewLines;) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'), at);
        const qsizetype length = (end < 0 ? text.size() : end) - at;
        m_previewLines << text.mid(at, std::min(length, PreviewLineChars)).toString() +
                              (length > PreviewLineChars ? QString(QChar(0x2026)) : QString());
        if (end < 0)
            break;
        at = end + 1;
    }
    if (m_previewLines.size() > PreviewLines)
        m_previewLines.last() = QChar(0x2026);
    m_previewLines.first() = tr("Delivers: %1").arg(m_previewLines.first());
    m_previewWarnings = result.warnings;
    m_previewWidth = -1;
    fitPreview();
}

void NoteEditor::fitPreview()
{
    const int width = ui->preview->contentsRect().width();
    if (width == m_previewWidth || m_previewLines.isEmpty())
        return;
    m_previewWidth = width;
    const QFontMetrics metrics(ui->preview->font());
    QStringList lines;
    for (const QString &line : std::as_const(m_previewLines))
        lines << metrics.elidedText(line, Qt::ElideRight, width);
    // The warnings are sentences: they wrap.
    ui->preview->setText((lines + m_previewWarnings).join(QLatin1Char('\n')));
}

bool NoteEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->preview && event->type() == QEvent::Resize)
        fitPreview();
    return QWidget::eventFilter(watched, event);
}

bool NoteEditor::changedOnDisk() const
{
    if (m_note.isEmpty() || !m_store)
        return false;
    // A note gone meanwhile reads as one without hot key or text, as the settings layer has it.
    const MacroStore::Note now = storedNote(m_master, m_note);
    return now.code != m_shown.code || now.text != m_shown.text ||
           now.abbreviation != m_shown.abbreviation;
}

bool NoteEditor::keepMine()
{
    const int answer = m_dialogs->choice(
        window(), tr("Save Note"),
        tr("The Note \"%1\" was changed elsewhere (on another computer, perhaps) since you began "
           "editing it.")
            .arg(m_note),
        {tr("Keep mine"), tr("Take the other")});
    if (answer == 1)
        revert();
    return answer == 0;
}

void NoteEditor::revert()
{
    showNote(m_master, m_note);
}

void NoteEditor::setDirty(bool dirty)
{
    ui->btnUpdate->setEnabled(dirty);
    ui->btnRevert->setEnabled(dirty);
    if (dirty == m_dirty)
        return;
    m_dirty = dirty;
    Q_EMIT dirtyChanged(dirty);
}

MacroStore::Note NoteEditor::storedNote(const QString &master, const QString &note) const
{
    if (m_store) {
        for (const MacroStore::Note &stored : m_store->notesNow(master)) {
            if (stored.name == note)
                return stored;
        }
    }
    return {note, 0, QString(), QString()};
}

void NoteEditor::markUsedKeys()
{
    if (m_note.isEmpty() || !m_store)
        return;
    QSet<int> taken;
    for (const MacroStore::Note &other : m_store->notesNow(m_master)) {
        if (other.name != m_note)
            taken.insert(other.code);
    }
    const bool ctrl = ui->shortcutCtrl->isChecked();
    const bool alt = ui->shortcutAlt->isChecked();
    const bool shift = ui->shortcutShift->isChecked();
    const QIcon none;
    const QIcon never = ui->shortcutKey->style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int i = 0; i < ui->shortcutKey->count(); ++i) {
        const int candidate = MacroStore::buildCode(
            ctrl, alt, shift, ui->shortcutKey->itemData(i, Qt::UserRole).toInt());
        // A key that can never fire is marked apart from one that is merely taken.
        const QString reason = ConsoleKeys::reason(candidate);
        ui->shortcutKey->setItemIcon(i, !reason.isEmpty()           ? never
                                        : taken.contains(candidate) ? m_inUseIcon
                                                                    : none);
        ui->shortcutKey->setItemData(i, reason.isEmpty() ? QVariant() : QVariant(reason),
                                     Qt::ToolTipRole);
    }
}
