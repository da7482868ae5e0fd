#include "preferencesdlg.h"
#include "ui_preferencesdlg.h"

#include "core/pastekeytable.h"
#include "core/pickkey.h"
#include "hotkeys/focustracker.h"
#include "store/preferences.h"

#include <algorithm>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFont>
#include <QHeaderView>
#include <QKeySequence>
#include <QPointer>

namespace {

constexpr int ClassColumn = 0;
constexpr int StrokeColumn = 1;
constexpr int VisibleRows = 5;
// Marks the first row, which holds the paste key of every program the table does not name.
constexpr int DefaultRowRole = Qt::UserRole + 1;
// Marks a row added in this dialog whose key the user has not chosen yet.
constexpr int NewRowRole = Qt::UserRole + 2;

bool isDefaultRow(const QTableWidget *table, int row)
{
    const QTableWidgetItem *item = table->item(row, ClassColumn);
    return item && item->data(DefaultRowRole).toBool();
}

} // namespace

PreferencesDlg::PreferencesDlg(const Preferences &preferences, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::PreferencesDlg>()), m_preferences(preferences)
{
    ui->setupUi(this);
    ui->pasteKeys->horizontalHeader()->setSectionResizeMode(ClassColumn, QHeaderView::Stretch);
    // Room for the first rows, so that "Add" does not push the first one out of sight. The rows
    // hold combo boxes, which are taller than text.
    QHeaderView *rows = ui->pasteKeys->verticalHeader();
    rows->setDefaultSectionSize(
        std::max(rows->defaultSectionSize(), QComboBox().sizeHint().height()));
    ui->pasteKeys->setMinimumHeight(ui->pasteKeys->horizontalHeader()->sizeHint().height() +
                                    VisibleRows * rows->defaultSectionSize() +
                                    2 * ui->pasteKeys->frameWidth());
    showPreferences(preferences);
    connect(ui->quickPickShortcut, &QKeySequenceEdit::keySequenceChanged, this,
            &PreferencesDlg::checkQuickPickKey);
    connect(ui->pasteKeys, &QTableWidget::itemChanged, this, &PreferencesDlg::classEntered);
    ui->btnPickWindow->setEnabled(false);
    setAbbreviationsUnavailable(QString());
}

PreferencesDlg::~PreferencesDlg() = default;

// A key the pick may not have is not taken: the field empties, and a line says why.
void PreferencesDlg::checkQuickPickKey(const QKeySequence &keys)
{
    const QString refusal = keys.isEmpty() ? QString() : PickKey::refusal(keys[0].toCombined());
    if (refusal.isEmpty() && keys.isEmpty() && ui->quickPickRefused->isVisibleTo(this))
        return; // emptied below: the line stays
    ui->quickPickRefused->setText(refusal);
    ui->quickPickRefused->setVisible(!refusal.isEmpty());
    if (!refusal.isEmpty())
        ui->quickPickShortcut->clear();
}

void PreferencesDlg::showPreferences(const Preferences &preferences)
{
    ui->restoreClipboard->setChecked(preferences.restoreClipboard());
    ui->tickLastLive->setChecked(preferences.tickLastLiveAtStart());
    const int quickPick = preferences.quickPickShortcut();
    ui->quickPickShortcut->setKeySequence(quickPick ? QKeySequence(quickPick) : QKeySequence());
    ui->expandPlaceholders->setChecked(preferences.expandPlaceholders());
    ui->expandAbbreviations->setChecked(preferences.expandAbbreviations());
    ui->deniedPrograms->setText(preferences.deniedPrograms().join(QStringLiteral(", ")));
    ui->storeFolder->setText(QDir::toNativeSeparators(preferences.storeFolder()));

    ui->pasteKeys->setRowCount(0);
    addPasteKeyRow(tr("Every other program"), preferences.defaultPasteKey());
    QTableWidgetItem *others = ui->pasteKeys->item(0, ClassColumn);
    others->setData(DefaultRowRole, true);
    others->setFlags(others->flags() & ~Qt::ItemIsEditable);
    QFont italic = others->font();
    italic.setItalic(true);
    others->setFont(italic);
    const QHash<QString, int> pasteKeys = preferences.pasteKeys();
    QStringList classes = pasteKeys.keys();
    std::sort(classes.begin(), classes.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    for (const QString &windowClass : std::as_const(classes))
        addPasteKeyRow(windowClass, pasteKeys.value(windowClass));
}

Preferences PreferencesDlg::preferences() const
{
    Preferences preferences = m_preferences;
    preferences.setRestoreClipboard(ui->restoreClipboard->isChecked());
    preferences.setTickLastLiveAtStart(ui->tickLastLive->isChecked());
    // A hot key is one combination: the first of a sequence.
    const QKeySequence quickPick = ui->quickPickShortcut->keySequence();
    preferences.setQuickPickShortcut(quickPick.isEmpty() ? 0 : quickPick[0].toCombined());
    preferences.setExpandPlaceholders(ui->expandPlaceholders->isChecked());
    preferences.setExpandAbbreviations(ui->expandAbbreviations->isChecked());
    QStringList denied;
    const QStringList entered = ui->deniedPrograms->text().split(QLatin1Char(','));
    for (const QString &windowClass : entered) {
        if (!windowClass.trimmed().isEmpty())
            denied.append(windowClass.trimmed());
    }
    preferences.setDeniedPrograms(denied);

    QHash<QString, int> pasteKeys;
    for (int row = 0; row < ui->pasteKeys->rowCount(); ++row) {
        const QTableWidgetItem *item = ui->pasteKeys->item(row, ClassColumn);
        const QString windowClass = item ? item->text().trimmed() : QString();
        const auto *stroke =
            qobject_cast<QComboBox *>(ui->pasteKeys->cellWidget(row, StrokeColumn));
        if (stroke && isDefaultRow(ui->pasteKeys, row))
            preferences.setDefaultPasteKey(stroke->currentData().toInt());
        else if (!windowClass.isEmpty() && stroke)
            pasteKeys.insert(windowClass, stroke->currentData().toInt());
    }
    preferences.setPasteKeys(pasteKeys);
    return preferences;
}

void PreferencesDlg::setStartAtLogin(bool start)
{
    ui->startAtLogin->setChecked(start);
}

bool PreferencesDlg::startAtLogin() const
{
    return ui->startAtLogin->isChecked();
}

void PreferencesDlg::setPasteKeysHonoured(bool honoured)
{
    const QList<QWidget *> table{ui->labelPasteKeys, ui->pasteKeys, ui->btnAddPasteKey,
                                 ui->btnRemovePasteKey};
    for (QWidget *widget : table)
        widget->setEnabled(honoured);
    ui->btnPickWindow->setEnabled(honoured && m_picker);
    ui->labelPasteKeysUnavailable->setVisible(!honoured);
}

void PreferencesDlg::setAbbreviationsUnavailable(const QString &why)
{
    // The choice is kept as it was, for a session that allows it.
    ui->expandAbbreviations->setEnabled(why.isEmpty());
    ui->labelAbbreviationsUnavailable->setText(why);
    ui->labelAbbreviationsUnavailable->setVisible(!why.isEmpty());
}

QString PreferencesDlg::storeFolder() const
{
    const QString folder = ui->storeFolder->text().trimmed();
    return folder.isEmpty() ? QString() : QDir::cleanPath(QDir::fromNativeSeparators(folder));
}

void PreferencesDlg::on_btnChooseStoreFolder_clicked()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, ui->labelStoreFolder->text(), storeFolder());
    if (!folder.isEmpty())
        ui->storeFolder->setText(QDir::toNativeSeparators(folder));
}

void PreferencesDlg::addPasteKeyRow(const QString &windowClass, int stroke)
{
    const int row = ui->pasteKeys->rowCount();
    ui->pasteKeys->insertRow(row);
    ui->pasteKeys->setItem(row, ClassColumn, new QTableWidgetItem(windowClass));
    auto *strokes = new QComboBox(ui->pasteKeys);
    for (int offered : PasteStroke::all())
        strokes->addItem(offered == PasteStroke::Type ? tr("Type the text")
                                                      : PasteStroke::text(offered),
                         offered);
    strokes->setCurrentIndex(std::max(0, strokes->findData(stroke)));
    ui->pasteKeys->setCellWidget(row, StrokeColumn, strokes);
}

void PreferencesDlg::setHotKeysRefused(const QString &why)
{
    ui->hotKeysRefused->setText(why);
    ui->hotKeysRefused->setVisible(!why.isEmpty());
}

void PreferencesDlg::setWindowPicker(FocusTracker *picker)
{
    m_picker = picker;
    ui->btnPickWindow->setEnabled(picker && ui->pasteKeys->isEnabled());
}

void PreferencesDlg::on_btnPickWindow_clicked()
{
    ui->btnPickWindow->setEnabled(false);
    ui->btnPickWindow->setText(tr("Click a window…"));
    QPointer<PreferencesDlg> self(this);
    m_picker->pickWindowClass([self](const QStringList &names) {
        if (self)
            self->addPickedWindow(names);
    });
}

void PreferencesDlg::addPickedWindow(const QStringList &names)
{
    ui->btnPickWindow->setText(tr("Pick a window…"));
    ui->btnPickWindow->setEnabled(true);
    // The class names the program (XTerm, not the instance of one of its windows).
    const QString windowClass = names.value(1).isEmpty() ? names.value(0) : names.value(1);
    if (windowClass.isEmpty())
        return;
    int row = 0;
    while (
        row < ui->pasteKeys->rowCount() &&
        (isDefaultRow(ui->pasteKeys, row) || !ui->pasteKeys->item(row, ClassColumn) ||
         ui->pasteKeys->item(row, ClassColumn)->text().compare(windowClass, Qt::CaseInsensitive) !=
             0))
        ++row;
    if (row == ui->pasteKeys->rowCount())
        addPasteKeyRow(windowClass, startingStroke(names.value(0), names.value(1)));
    ui->pasteKeys->setCurrentCell(row, StrokeColumn);
}

int PreferencesDlg::startingStroke(const QString &instance, const QString &className) const
{
    const auto *others = qobject_cast<QComboBox *>(ui->pasteKeys->cellWidget(0, StrokeColumn));
    return PasteKeyTable({}, others ? others->currentData().toInt() : PasteStroke::CtrlV)
        .pasteStrokeFor(instance, className);
}

void PreferencesDlg::classEntered(QTableWidgetItem *item)
{
    if (!item || item->column() != ClassColumn || !item->data(NewRowRole).toBool())
        return;
    auto *strokes = qobject_cast<QComboBox *>(ui->pasteKeys->cellWidget(item->row(), StrokeColumn));
    const QString windowClass = item->text().trimmed();
    if (!strokes || windowClass.isEmpty())
        return;
    item->setData(NewRowRole, false); // once: what the user chooses afterwards stays
    strokes->setCurrentIndex(
        std::max(0, strokes->findData(startingStroke(windowClass, windowClass))));
}

void PreferencesDlg::on_btnAddPasteKey_clicked()
{
    addPasteKeyRow(QString(), PasteStroke::CtrlShiftV);
    const int row = ui->pasteKeys->rowCount() - 1;
    QTableWidgetItem *added = ui->pasteKeys->item(row, ClassColumn);
    added->setData(NewRowRole, true);
    // A key chosen before the class is typed stays the user's.
    connect(qobject_cast<QComboBox *>(ui->pasteKeys->cellWidget(row, StrokeColumn)),
            &QComboBox::activated, this, [added] { added->setData(NewRowRole, false); });
    ui->pasteKeys->setCurrentCell(row, ClassColumn);
    ui->pasteKeys->editItem(ui->pasteKeys->item(row, ClassColumn));
}

void PreferencesDlg::on_btnRemovePasteKey_clicked()
{
    const int row = ui->pasteKeys->currentRow();
    if (row >= 0 && !isDefaultRow(ui->pasteKeys, row))
        ui->pasteKeys->removeRow(row);
}

void PreferencesDlg::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
