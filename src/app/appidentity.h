#pragma once

#include <QStringList>

namespace AppIdentity {

// Names under which the settings layer finds the macro store; set before anything reads it.
void apply();

// True when the arguments hold "--minimize-to-tray" exactly (case-sensitive, no value).
bool wantsMinimizeToTray(const QStringList &arguments);

} // namespace AppIdentity
