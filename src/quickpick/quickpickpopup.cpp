#include "quickpickpopup.h"
#include "ui_quickpickpopup.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>

namespace {

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// On X11 a popup takes the keyboard without taking the focus, so the program the note is for
// keeps it throughout. A Wayland popup needs a parent window of the program's own, which has
// no focus to lend: there it is a window of its own that the desktop gives the keyboard to, and
// gives back from when it closes.
Qt::WindowFlags windowKind()
{
    return onWayland() ? Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                       : Qt::WindowFlags(Qt::Popup);
}

} // namespace

QuickPickPopup::QuickPickPopup(const NoteMatcher &notes, const QStringList &recent,
                               const QString &live, QWidget *parent)
    : QWidget(parent, windowKind()), ui(std::make_unique<Ui::QuickPickPopup>()), m_matcher(notes),
      m_model(m_matcher)
{
    ui->setupUi(this);
    m_matcher.setRecent(recent);
    m_matcher.setLiveMaster(live);
    ui->notes->setModel(&m_model);
    // A table, not a tree: a tree lays out every row anew for each keystroke, a table of rows
    // of one height only the rows on screen.
    QHeaderView *columns = ui->notes->horizontalHeader();
    columns->setStretchLastSection(false);
    // Fitting columns to thousands of rows would cost more than the whole search.
    columns->setSectionResizeMode(QuickPickModel::TextColumn, QHeaderView::Stretch);
    columns->resizeSection(QuickPickModel::NoteColumn, 160);
    columns->resizeSection(QuickPickModel::MasterColumn, 120);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QHeaderView *rows = ui->notes->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 6);
    ui->search->installEventFilter(this);
    connect(ui->search, &QLineEdit::textChanged, this, &QuickPickPopup::search);
    connect(ui->notes, &QAbstractItemView::doubleClicked, this, &QuickPickPopup::pick);
    search(QString());
}

QuickPickPopup::~QuickPickPopup() = default;

void QuickPickPopup::popUp(const QString &activationToken)
{
    const QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        setGeometry(frame);
    }
    if (!activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8()); // Qt's Wayland activation
    show();
    raise();
    if (onWayland())
        activateWindow();
    ui->search->setFocus();
}

void QuickPickPopup::search(const QString &query)
{
    m_model.setQuery(query);
    ui->notes->setCurrentIndex(m_model.index(0, 0));
}

void QuickPickPopup::pick(const QModelIndex &index)
{
    const int entry = m_model.entryAt(index.row());
    if (entry < 0)
        return;
    const NoteMatcher::Entry note = m_matcher.entry(entry);
    // Closed first: the keyboard goes back to the program the note is for.
    close();
    Q_EMIT picked(note.master, note.note, note.text);
}

bool QuickPickPopup::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ui->search || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // The list moves while the typing stays in the field.
        QCoreApplication::sendEvent(ui->notes, event);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pick(ui->notes->currentIndex());
        return true;
    case Qt::Key_Escape:
        close();
        return true;
    default:
        return false;
    }
}

void QuickPickPopup::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A click elsewhere, as it closes a popup.
    if (event->type() == QEvent::ActivationChange && onWayland() && !isActiveWindow() &&
        m_wasActive)
        close();
    m_wasActive = m_wasActive || isActiveWindow();
}
