#include "aboutdlg.h"
#include "ui_aboutdlg.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QUrl>

AboutDlg::AboutDlg(const QString &hotKeys, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::AboutDlg>())
{
    ui->setupUi(this);
    // The page never navigates: every link goes to the system's browser or mail program.
    ui->about->setOpenLinks(false);
    ui->about->setOpenExternalLinks(false);
    connect(ui->about, &QTextBrowser::anchorClicked, this, &AboutDlg::adsLinkClicked);

    const QString page =
        tr("<html><head></head><body>"
           "<p><b>Keyquill</b></p>"
           "<p><b>Author:</b> the Corvane team, software designers, programmers and technical "
           "writers</p>"
           "<p><b>Version:</b> v%1</p>"
           "<p>%2</p>"
           "<p>Technical suport: <a "
           "href=\"mailto:support@corvane.example\">support@corvane.example</a></p>"
           "<br>"
           "In short, Keyquill allows users to quickly paste often used sentences or paragraphs "
           "into text windows using pre-defined assigned keyboard shortcuts."
           "<p>Keyquill is a simple but sophisticated text macro management system. It lets you do "
           "the following:</p>"
           "<ol>"
           "<li>Keep master macros, each holding notes. Say you work in a help-desk application "
           "where you keep typing the same answers: create a master macro named after that "
           "application to hold them.</li>"
           "<li>In that master macro, add a note for each text you keep typing and give each note "
           "a keyboard shortcut. The shortcuts work whenever Keyquill runs and that master macro "
           "is selected.</li>"
           "<li>Create as many master macros and notes as you like; there is no limit. A master "
           "macro you are not using can be collapsed in the tree.</li>"
           "<li>Import and export all or some master macros, to move them to another computer or "
           "share them with another person. Notes can be exported without their content, to keep "
           "private data private.</li>"
           "<li>Print master macros with all their notes, as a reference of the shortcuts you "
           "assigned.</li>"
           "</ol>"
           "</body></html>");
    ui->about->setHtml(
        page.arg(QCoreApplication::applicationVersion().toHtmlEscaped(), hotKeys.toHtmlEscaped()));
}

AboutDlg::~AboutDlg() = default;

void AboutDlg::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        setWindowTitle(tr("About Application"));
}

void AboutDlg::adsLinkClicked(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}
