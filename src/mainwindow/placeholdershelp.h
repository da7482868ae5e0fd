#pragma once

#include <QDialog>

// Help → "Placeholders…": the fill-in syntax with an example of each, from the text the README
// holds too (help/placeholders.md in the resources).
class PlaceholdersHelp final : public QDialog
{
    Q_OBJECT

public:
    explicit PlaceholdersHelp(QWidget *parent = nullptr);

    // The reference as Markdown.
    static QString text();
};
