#pragma once

#include <functional>
#include <QString>

class QWidget;

// Asks the user for a file: parent, caption and filter in, the chosen path out ("" when
// cancelled). The import and the export go through one of these so that tests can answer
// without a platform file dialog; left empty, the real file dialog is used.
using FileRequest =
    std::function<QString(QWidget *parent, const QString &caption, const QString &filter)>;
