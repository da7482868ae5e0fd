#pragma once

#include "hotkeys/platform.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSet>

// A platform of the test's own, playing all four roles: every combination is grabbed but those in
// `refused`, the keys are held while `keysDown` is set, the focused window is `windowClass`, and
// every stroke is recorded with what the clipboard held when it went out, every typed text as it
// went. press() is the user's key. platform() hands it where a Platform is wanted.
class FakePlatform final : public ShortcutService,
                           public KeyOutput,
                           public ClipboardAccess,
                           public FocusTracker
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

    FakePlatform()
    {
        m_platform.setShortcuts(*this);
        m_platform.setKeys(*this);
        m_platform.setClipboard(*this);
        m_platform.setFocus(*this);
    }
    Platform &platform() { return m_platform; }

    QString description() const override { return QStringLiteral("fake"); }
    std::unique_ptr<ShortcutBackend>
    createShortcutBackend(ShortcutBackend::Handlers handlers) override
    {
        m_handlers = std::move(handlers);
        return std::make_unique<Backend>(*this);
    }
    QString caveat() const override { return caveatText; }
    void sendStroke(int stroke, Done done) override
    {
        if (strokeFailure.isEmpty()) {
            strokes << stroke;
            pasted << QGuiApplication::clipboard()->text();
            if (echoes)
                press(stroke);
        }
        done(strokeFailure);
    }
    void typeText(const QString &text, Done done) override
    {
        if (typeFailure.isEmpty())
            typed << text;
        if (typedChord != 0) // the desktop saw a typed capital as that chord
            press(typedChord);
        done(typeFailure);
    }
    QString typedWarning() const override { return leftOut; }
    bool keysFree(int) override { return !keysDown; }
    bool echoesStrokes() const override { return echoes; }
    QString clipboardText() override
    {
        ++clipboardReads;
        return ClipboardAccess::clipboardText();
    }
    QStringList focusedWindowClass() override { return windowClass; }
    bool namesFocusedProgram() const override { return namesPrograms; }

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
    Platform m_platform;
};
