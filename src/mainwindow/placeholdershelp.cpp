#include "placeholdershelp.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

PlaceholdersHelp::PlaceholdersHelp(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Placeholders"));
    auto *layout = new QVBoxLayout(this);
    auto *page = new QTextBrowser(this);
    page->setObjectName(QStringLiteral("reference"));
    page->setMarkdown(text());
    layout->addWidget(page);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(780, 420);
}

QString PlaceholdersHelp::text()
{
    QFile file(QStringLiteral(":/help/placeholders.md"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
