#pragma once

#include "hotkeys/hotkeyplatform.h"

#include <memory>

// The session's own platform, real grabs and all, but for the paste stroke, which goes nowhere:
// a bench measures up to the clipboard, and a stroke into its own window would edit a note.
class QuietPlatform final : public HotKeyPlatform
{
public:
    QuietPlatform() : m_real(HotKeyPlatform::create()) {}

    QString description() const override { return m_real->description(); }
    std::unique_ptr<ShortcutBackend>
    createShortcutBackend(ShortcutBackend::Handlers handlers) override
    {
        return m_real->createShortcutBackend(std::move(handlers));
    }
    void sendStroke(int, StrokeDone done) override { done(QString()); }

private:
    std::unique_ptr<HotKeyPlatform> m_real;
};
