#include "deniedprograms.h"

const QStringList &DeniedPrograms::builtIn()
{
    static const QStringList classes{
        // Password managers.
        "keepassxc", "keepass2", "keepass", "1password", "bitwarden", "enpass", "seahorse",
        "kwalletmanager5", "qtpass", "gopass",
        // Password and key prompts.
        "pinentry", "pinentry-gtk-2", "pinentry-gnome3", "pinentry-qt", "pinentry-fltk",
        "gcr-prompter", "ksshaskpass", "ssh-askpass", "x11-ssh-askpass", "gnome-ssh-askpass",
        "lxqt-openssh-askpass", "lxqt-policykit-agent", "polkit-gnome-authentication-agent-1",
        "polkit-kde-authentication-agent-1", "polkit-mate-authentication-agent-1", "xfce-polkit",
        "kdesu", "gksu", "zenity-password",
        // Screen lockers.
        "xscreensaver", "i3lock", "xsecurelock", "slock", "xlock", "xtrlock", "light-locker",
        "gnome-screensaver", "mate-screensaver", "cinnamon-screensaver", "kscreenlocker_greet",
        "xfce4-screensaver", "lightdm", "lightdm-gtk-greeter"};
    return classes;
}

DeniedPrograms::DeniedPrograms(const QStringList &userClasses) : m_classes(builtIn())
{
    for (const QString &windowClass : userClasses)
        m_classes.append(windowClass.trimmed().toLower());
}

bool DeniedPrograms::denies(const QStringList &windowClass) const
{
    if (windowClass.isEmpty())
        return true;
    for (const QString &name : windowClass) {
        if (m_classes.contains(name.toLower()))
            return true;
    }
    return false;
}
