#include "globalshortcut.h"

#include "hotkeys/shortcutregistry.h"

GlobalShortcut::GlobalShortcut(const QKeySequence &shortcut, QObject *parent)
    : QObject(parent), m_shortcut(shortcut)
{
    m_registered = ShortcutRegistry::attach(this);
}

GlobalShortcut::~GlobalShortcut()
{
    ShortcutRegistry::detach(this);
}
