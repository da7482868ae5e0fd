#pragma once

#include "hotkeys/platform.h"

#include <memory>

// The session's own platform, real grabs and all, but for the paste stroke, which goes nowhere:
// a bench measures up to the clipboard, and a stroke into its own window would edit a note.
class QuietPlatform final : public KeyOutput
{
public:
    QuietPlatform() : m_platform(Platform::create()) { m_platform->setKeys(*this); }

    Platform &platform() { return *m_platform; }
    void sendStroke(int, Done done) override { done(QString()); }

private:
    std::unique_ptr<Platform> m_platform;
};
