#pragma once

#include "hotkeys/hotkeyplatform.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSet>

// A platform of the test's own: every combination is grabbed but those in `refused`, the keys
// are held while `keysDown` is set, the focused window is `windowClass`, and every stroke is
// recorded with what the clipboard held when it went out, every typed text as it went. press() is
// the user's key.
class FakePlatform final : public HotKeyPlatform
{
public:
    bool keysDown = false;
    bool echoes = false;   // the desktop hands our own stroke back as a press
    bool releases = false; // the desktop says when a chord is let go of (and repeats presses)
    QString strokeFailure; // "" lets strokes go out
    QStringList windowClass;
    bool namesPrograms = true;
    QSet<int> refused;
    QList<int> strokes;
    QStringList pasted; // the clipboard at each stroke
    QStringList typed;  // each text typed, where typing is chosen
    int typedChord = 0; // pressed by each text typed
    QString typeFailure = QStringLiteral("no typing here"); // "" lets texts be typed
    int clipboardReads = 0;                                 // by the delivery, for its placeholders
    QString caveatText;                                     // what holds for every hot key
    QString leftOut; // what a text typed went without, as the desktop says

    QString description() const override { return QStringLiteral("fake"); }
    std::unique_ptr<ShortcutBackend>
    createShortcutBackend(ShortcutBackend::Handlers handlers) override
    {
        m_handlers = std::move(handlers);
        return std::make_unique<Backend>(*this);
    }
    void sendStroke(int stroke, StrokeDone done) override
    {
        if (strokeFailure.isEmpty()) {
            strokes << stroke;
            pasted << QGuiApplication::clipboard()->text();
            if (echoes)
                press(stroke);
        }
        done(strokeFailure);
    }
    void typeText(const QString &text, StrokeDone done) override
    {
        if (typeFailure.isEmpty())
            typed << text;
        if (typedChord != 0) // the desktop saw a typed capital as that chord
            press(typedChord);
        done(typeFailure);
    }
    bool keysFree(int) override { return !keysDown; }
    QString clipboardText() override
    {
        ++clipboardReads;
        return HotKeyPlatform::clipboardText();
    }
    QStringList focusedWindowClass() override { return windowClass; }
    bool namesFocusedProgram() const override { return namesPrograms; }
    bool echoesStrokes() const override { return echoes; }
    QString caveat() const override { return caveatText; }
    QString typedWarning() const override { return leftOut; }

    void press(int code)
    {
        if (m_handlers.activated)
            m_handlers.activated(code);
    }
    void release(int code)
    {
        if (m_handlers.released)
            m_handlers.released(code);
    }

private:
    struct Backend final : ShortcutBackend
    {
        FakePlatform &platform;
        explicit Backend(FakePlatform &owner) : platform(owner) {}
        bool grab(int code) override { return !platform.refused.contains(code); }
        void ungrab(int) override {}
        bool reportsReleases() const override { return platform.releases; }
        void retryRefused(const QList<int> &codes) override
        {
            for (int code : codes) {
                if (!platform.refused.contains(code))
                    platform.m_handlers.regrabbed(code, true);
            }
        }
    };

    ShortcutBackend::Handlers m_handlers;
};
