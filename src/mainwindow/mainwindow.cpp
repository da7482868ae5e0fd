#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "app/singleinstance.h"
#include "mainwindow/preferencesdlg.h"
#include "store/preferences.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkReply>
#include <QSettings>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()),
      m_mainIcon(QStringLiteral(":/images/icon_main.png")),
      m_masterMacroIcon(QStringLiteral(":/images/icon_master_macro.png")),
      m_noteIcon(QStringLiteral(":/images/icon_macro.png")),
      m_inUseIcon(QStringLiteral(":/images/icon_in_use.png")),
      m_instanceKey(SingleInstanceGuard::baseKey())
{
    // Qt drops its parsed copy of a large settings file when the last QSettings on it goes,
    // and then parses the whole file again for each new one (some 25 ms at 10,000 notes). One
    // object that lives with the window keeps the parse; every operation still reads through a
    // fresh object of its own, which checks the file on disk and re-reads it when it changed.
    m_storeKeeper = new QSettings(this);
    ui->setupUi(this);
    fillKeyList();

    connect(ui->treeMacros, &QTreeWidget::currentItemChanged, this,
            &MainWindow::currentMacroChanged);
    connect(ui->treeMacros, &CheckTreeWidget::itemCheckStateChanged, this,
            &MainWindow::macroCheckStateChanged);
    connect(ui->btnUpdate, &QPushButton::clicked, this, &MainWindow::updateMacro);
    connect(ui->shortcutCtrl, &QCheckBox::clicked, this, &MainWindow::macroDirty);
    connect(ui->shortcutAlt, &QCheckBox::clicked, this, &MainWindow::macroDirty);
    connect(ui->shortcutShift, &QCheckBox::clicked, this, &MainWindow::macroDirty);
    connect(ui->shortcutKey, &QComboBox::currentIndexChanged, this, &MainWindow::macroDirty);
    connect(ui->macro, &QTextEdit::textChanged, this, &MainWindow::macroDirty);
    // Links in the panel leave through the system; the panel itself never navigates.
    ui->ads->setOpenLinks(false);
    ui->ads->setOpenExternalLinks(false);
    connect(ui->ads, &QTextBrowser::anchorClicked, this, &MainWindow::adsLinkClicked);
    fitAdsHeadings();

    createActions();
    createMenus();
    ui->mainToolBar->addAction(m_addMasterMacroAction);
    ui->mainToolBar->addAction(m_addNoteAction);

    loadMacroTree();

    connect(&m_http, &QNetworkAccessManager::finished, this, &MainWindow::requestFinished);
    checkForUpdates();

    createTrayIcon();
    m_trayIcon->setVisible(true);

    m_restoreTimer = new QTimer(this);
    connect(m_restoreTimer, &QTimer::timeout, this, &MainWindow::interProcessCommunication);
    m_restoreTimer->start(1000);
}

MainWindow::~MainWindow()
{
    ui.reset();
}

void MainWindow::fillKeyList()
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

void MainWindow::fitAdsHeadings()
{
    // Qt's HTML import gives h1 a fixed size step that overrides the page's own "h1 {
    // font-size: 12px }", which made the headings larger than everything else in the panel.
    // Put the page's size back on the heading text.
    constexpr int HeadingPixelSize = 12;
    QTextDocument *page = ui->ads->document();
    for (QTextBlock block = page->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() != 1)
            continue;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            format.clearProperty(QTextFormat::FontSizeAdjustment);
            format.clearProperty(QTextFormat::FontPointSize);
            format.setProperty(QTextFormat::FontPixelSize, HeadingPixelSize);
            QTextCursor cursor(page);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
}

void MainWindow::createActions()
{
    QWidget *tree = ui->treeMacros;

    m_exportAction = new QAction(tr("&Export Master Macro"), tree);
    connect(m_exportAction, &QAction::triggered, this, &MainWindow::exportMasterMacro);

    m_importAction = new QAction(tr("&Import Master Macro"), tree);
    connect(m_importAction, &QAction::triggered, this, &MainWindow::importMasterMacro);

    m_printAction = new QAction(tr("&Print Master Macro"), tree);
    m_printAction->setShortcut(QKeySequence(tr("Ctrl+P")));
    connect(m_printAction, &QAction::triggered, this, &MainWindow::printMasterMacro);

    m_printAllAction = new QAction(tr("&Print All Master Macros"), tree);
    m_printAllAction->setShortcut(QKeySequence(tr("Ctrl+Alt+P")));
    connect(m_printAllAction, &QAction::triggered, this, &MainWindow::printAllMasterMacros);

    m_quitAction = new QAction(tr("&Quit"), this);
    connect(m_quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);

    m_addMasterMacroAction = new QAction(m_masterMacroIcon, tr("Add Master Macro"), tree);
    connect(m_addMasterMacroAction, &QAction::triggered, this, &MainWindow::addMasterMacro);

    m_addNoteAction = new QAction(m_noteIcon, tr("Add Note"), tree);
    connect(m_addNoteAction, &QAction::triggered, this, &MainWindow::addMacro);

    m_renameAction = new QAction(tr("Rename"), tree);
    connect(m_renameAction, &QAction::triggered, this, &MainWindow::renameMacro);

    m_deleteAction = new QAction(tr("Delete"), tree);
    connect(m_deleteAction, &QAction::triggered, this, &MainWindow::deleteMacro);

    m_aboutAction = new QAction(tr("&About"), this);
    connect(m_aboutAction, &QAction::triggered, this, &MainWindow::helpAbout);

    m_instructionsAction = new QAction(tr("&Instructions"), this);
    connect(m_instructionsAction, &QAction::triggered, this, &MainWindow::helpInstructions);

    m_preferencesAction = new QAction(tr("Preferences…"), this);
    connect(m_preferencesAction, &QAction::triggered, this, &MainWindow::editPreferences);

    tree->addActions({m_addMasterMacroAction, m_addNoteAction, m_renameAction, m_deleteAction,
                      m_printAction, m_printAllAction});
}

void MainWindow::createMenus()
{
    m_fileMenu = ui->menuBar->addMenu(tr("&File"));
    m_fileMenu->addAction(m_exportAction);
    m_fileMenu->addAction(m_importAction);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_printAction);
    m_fileMenu->addAction(m_printAllAction);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_quitAction);

    m_editMenu = ui->menuBar->addMenu(tr("&Edit"));
    m_editMenu->addAction(m_addMasterMacroAction);
    m_editMenu->addAction(m_addNoteAction);
    m_editMenu->addAction(m_renameAction);
    m_editMenu->addAction(m_deleteAction);
    m_editMenu->addSeparator();
    m_editMenu->addAction(m_preferencesAction);
    ui->menuBar->addSeparator();

    m_helpMenu = ui->menuBar->addMenu(tr("&Help"));
    m_helpMenu->addAction(m_aboutAction);
    m_helpMenu->addAction(m_instructionsAction);
}

void MainWindow::editPreferences()
{
    PreferencesDlg dialog(Preferences::load(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!dialog.preferences().save())
        QMessageBox::warning(this, QCoreApplication::applicationName(),
                             tr("The preferences were not saved: the settings file %1 cannot be "
                                "written.")
                                 .arg(QSettings().fileName()));
}
