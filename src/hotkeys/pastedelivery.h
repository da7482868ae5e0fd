#pragma once

#include "store/preferences.h"

#include <memory>
#include <QClipboard>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class ClipboardSnapshot;
class HotKeyPlatform;
class ShortcutRegistry;

// One note on its way into the focused program, after its clipboard write and the one-second
// wait: holds the paste until the user has let go of every modifier and of the hot key's own
// keys (a held Alt would turn Ctrl+V into Ctrl+Alt+V, a held hot key would keep our grab
// active and swallow the stroke), picks the paste stroke the focused program understands, and
// afterwards puts back what the clipboard held if the user asked for that.
class PasteDelivery final : public QObject
{
    Q_OBJECT

public:
    static constexpr int KeyPollMs = 20;
    // A press still held back this long after its clipboard write is dropped; the text stays
    // on the clipboard for the user to paste by hand.
    static constexpr int GiveUpMs = 10000;
    // A longer text is pasted even where the user chose typing: typed, it would take minutes.
    static constexpr int TypeLimit = 20000;

    PasteDelivery(HotKeyPlatform &platform, ShortcutRegistry &registry, QObject *parent = nullptr);
    ~PasteDelivery() override;

    // The user's choices as they stand (paste keys, whether to put the clipboard back).
    void setPreferences(const Preferences &preferences) { m_preferences = preferences; }
    void setGiveUpMs(int ms) { m_giveUpMs = ms; }

    // Puts `text` on the clipboard for the hot key `code`, keeping a copy of what was there
    // when the preferences ask to put it back; where the focused program is to get the text
    // typed, leaves the clipboard alone. `clipboardAtPress` is userClipboard() as read for the
    // press, null where it was not read.
    void begin(int code, const QString &text, const QString &clipboardAtPress = QString());
    // The clipboard's text as the user left it, for {{clipboard}}: where it still holds a text a
    // delivery put there, the text it held before that delivery. Never null.
    QString userClipboard();
    // Sends the paste as soon as the keyboard is free; then emits finished().
    void pasteWhenKeysAreFree();
    // After the target has fetched the text: puts back the earlier clipboard, if kept and
    // nothing else took the clipboard meanwhile.
    void end();
    // From begin() to end(): a new press must wait.
    bool isBusy() const { return m_busy; }
    // What the user should know about a delivery that went out ("" when nothing).
    QString warning() const { return m_warning; }

Q_SIGNALS:
    // The paste went out (""), or it did not and `failure` says why: the text stays on the
    // clipboard then.
    void finished(const QString &failure);

private:
    void pollKeys();
    void paste();
    void type();
    void put(std::unique_ptr<ClipboardSnapshot> &snapshot, QClipboard::Mode mode);
    void markOurs();

    HotKeyPlatform &m_platform;
    ShortcutRegistry &m_registry;
    Preferences m_preferences;
    int m_giveUpMs = GiveUpMs;
    int m_code = 0;
    QString m_text;
    QElapsedTimer m_sinceBegin;
    QTimer m_keyPoll;
    std::unique_ptr<ClipboardSnapshot> m_clipboard;
    std::unique_ptr<ClipboardSnapshot> m_selection;
    bool m_restore = false;
    bool m_busy = false;
    bool m_typing = false;
    QString m_warning;
    QString m_clipboardAtPress;
    // The last text a delivery put on the clipboard, and what the user had there before it
    // (both null where that was not read).
    QString m_ours;
    QString m_underOurs;
};
