#pragma once

#include "hotkeys/hotkeyplatform.h"

// A session without system-wide hot keys: nothing registers and no stroke goes out; the reason
// is said in the About box and in the tool tips of the notes that cannot work.
class NullPlatform final : public HotKeyPlatform
{
    Q_OBJECT

public:
    explicit NullPlatform(const QString &why);

    QString description() const override;
    std::unique_ptr<ShortcutBackend>
    createShortcutBackend(ShortcutBackend::Handlers handlers) override;
    void sendStroke(int stroke, StrokeDone done) override;
    QString refusalReason() const override;

private:
    QString m_why;
};

// The factories of the back-end folders (x11/, portal/); a build without one of them gets a
// NullPlatform that says so.
std::unique_ptr<HotKeyPlatform> createX11Platform();
std::unique_ptr<HotKeyPlatform> createPortalPlatform();
