#pragma once

#include <QStringList>

// Programs whose typing an abbreviation watcher must not look at: password prompts, password
// managers, screen lockers (a built-in list), and those the user adds.
class DeniedPrograms final
{
public:
    // The built-in window classes, in lower case.
    static const QStringList &builtIn();

    explicit DeniedPrograms(const QStringList &userClasses = QStringList());
    // `windowClass`: the instance and class names of a window (WM_CLASS); either one named by
    // the lists, letter case ignored, denies it. A window whose class is not known is denied
    // too: nothing says it is no password prompt.
    bool denies(const QStringList &windowClass) const;

private:
    QStringList m_classes; // in lower case
};
