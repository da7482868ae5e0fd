#include "commandline.h"

#include <QCoreApplication>

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine command;
    const auto tr = [](const char *text) { return QCoreApplication::translate("main", text); };
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        Action action = Action::Start;
        if (argument == QLatin1String("--pick"))
            action = Action::Pick;
        else if (argument == QLatin1String("--list"))
            action = Action::List;
        else if (argument == QLatin1String("--deliver"))
            action = Action::Deliver;
        else
            continue;
        if (command.action != Action::Start) {
            command.problem = tr("Give one of --pick, --deliver and --list at a time.");
            return command;
        }
        command.action = action;
        if (action != Action::Deliver)
            continue;
        // Names never hold a "/" (the store refuses them), so the first one divides.
        const QString named = arguments.value(++i);
        const qsizetype slash = named.indexOf(QLatin1Char('/'));
        command.master = named.left(slash);
        command.note = named.mid(slash + 1);
        if (slash <= 0 || command.note.isEmpty())
            command.problem = tr(
                "--deliver needs the note as \"Master Macro/Note\", such as \"Work/Signature\".");
    }
    return command;
}
