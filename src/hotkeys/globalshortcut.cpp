#include "globalshortcut.h"

#include "hotkeys/shortcutregistry.h"

GlobalShortcut::GlobalShortcut(const QKeySequence &shortcut, ShortcutRegistry &registry,
                               QObject *parent)
    : QObject(parent), m_registry(registry), m_shortcut(shortcut)
{
    m_registered = m_registry.attach(this);
}

GlobalShortcut::~GlobalShortcut()
{
    m_registry.detach(this);
}
