#include "globalshortcut.h"

// Placeholder until the platform back-ends arrive: nothing is registered.
GlobalShortcut::GlobalShortcut(const QKeySequence &shortcut, QObject *parent)
    : QObject(parent), m_shortcut(shortcut)
{
}

GlobalShortcut::~GlobalShortcut() = default;
