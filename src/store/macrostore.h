#pragma once

#include "core/storednote.h"
#include "store/storeprints.h"

#include <memory>
#include <optional>
#include <QList>
#include <QSettings>
#include <QString>
#include <QStringList>

class QVariant;
class StoreBase;
class StoreMirror;
class StoreSnapshot;
class StoreWrite;

// The one reader and writer of the macro store: MasterMacros/<master>/description and
// MasterMacros/<master>/Macros/<note>/{text,shortcut}, in the native settings or in a file of a
// folder the user chose (read through a StoreMirror, as others write that folder). Every
// operation reads the file afresh when it changed; every change goes through StoreWrite and says
// whether it reached the disk. Master macros and notes are addressed by name.
class MacroStore final
{
public:
    static inline const QString MasterMacrosGroup = QStringLiteral("MasterMacros");
    static inline const QString MacrosGroup = QStringLiteral("Macros");
    static inline const QString TextKey = QStringLiteral("text");
    static inline const QString ShortcutKey = QStringLiteral("shortcut");
    static inline const QString DescriptionKey = QStringLiteral("description");
    // Written only when a note has one, so that stores and exports without any stay as they were.
    static inline const QString AbbreviationKey = QStringLiteral("abbreviation");
    static constexpr int AbbreviationMaxLength = 32;

    // Hot-key code: a Qt key OR-ed with the modifier bits below; 0 means no hot key.
    static constexpr int ShiftBit = 0x02000000;
    static constexpr int CtrlBit = 0x04000000;
    static constexpr int AltBit = 0x08000000;
    static constexpr int KeyMask = static_cast<int>(0xF1FFFFFFu);

    static int buildCode(bool ctrl, bool alt, bool shift, int key);
    static bool hasCtrl(int code) { return (code & CtrlBit) != 0; }
    static bool hasAlt(int code) { return (code & AltBit) != 0; }
    static bool hasShift(int code) { return (code & ShiftBit) != 0; }
    static int keyPart(int code) { return code & KeyMask; }

    // Reading defaults: a missing, empty or non-numeric shortcut reads as 0; a missing text as "".
    static int readCode(const QVariant &value);
    static int readCode(const QSettings &settings);
    static QString readText(const QSettings &settings);
    // "" where the note has none or the stored one could never be typed (isAbbreviation()).
    static QString readAbbreviation(const QSettings &settings);
    // 1 to 32 characters without white space: what can be typed in one go and matched.
    static bool isAbbreviation(const QString &abbreviation);
    // The store's file is UTF-8, which cannot hold half of a surrogate pair (a "\xd800" escape
    // written by hand or by an older writer yields one): such a half reads as U+FFFD.
    static QString withoutLoneSurrogates(QString text);

    // Names the settings layer would split into nested groups.
    static bool isStorableName(const QString &name);

    using Note = StoredNote;
    struct NoteCode
    {
        QString name;
        int code = 0;
    };
    using Master = StoredMaster;
    struct Outline
    {
        QString name;
        QStringList notes;
        QList<int> codes; // of `notes`, when asked for
    };

    // What the file on disk looks like from outside: any change of it, ours or another
    // program's (written in place or replaced), gives another stamp.
    struct Stamp
    {
        qint64 size = -1;
        qint64 modified = 0;
        qint64 changed = 0;
        quint64 generation = 0; // of what a chosen folder's store was read as
        bool operator==(const Stamp &other) const
        {
            return size == other.size && modified == other.modified && changed == other.changed &&
                   generation == other.generation;
        }
        bool operator!=(const Stamp &other) const { return !(*this == other); }
    };

    enum class Role {
        Store,        // the store itself: followed, and checked as at start whenever it changes
        ConflictCopy, // a sync tool's copy beside it: read once, never written
    };

    // The master macros as one reading of the file listed them, and the file as it was then.
    struct MasterList
    {
        QStringList names;
        Stamp stamp;
    };

    // The store where the preferences keep it (chosenFile()).
    MacroStore();
    // The same, where the native settings file's master macros were listed already (by the start
    // check): masters() gives that list while the file is unchanged, as listing them again
    // means listing every key of the store.
    explicit MacroStore(const MasterList &listed);
    // The store in `file`; "" for the native settings file.
    explicit MacroStore(const QString &file, Role role = Role::Store);
    ~MacroStore();
    MacroStore(const MacroStore &) = delete;
    MacroStore &operator=(const MacroStore &) = delete;

    // The store as it is on disk now, read once per change of the file: the same object until
    // the file changes. After a change made here only the master macros it touched are read
    // again.
    std::shared_ptr<const StoreSnapshot> snapshot() const;

    QStringList masters() const;
    // Every master macro with the names of its notes, in one pass over the store: far cheaper
    // than a call per master macro when the store is large.
    QList<Outline> outline() const;
    // The same for `masters` alone, codes included.
    QList<Outline> outline(const QStringList &masters) const;
    // Letter case ignored, as the tree compares master macro names.
    bool hasMaster(const QString &name) const;
    // In the store's order.
    QList<Note> notes(const QString &master) const;
    // The same from the snapshot where it is made and up to date; otherwise `master` alone is
    // read, so that showing one note does not read every note of a large store.
    QList<Note> notesNow(const QString &master) const;
    QList<NoteCode> noteCodes(const QString &master) const;
    QStringList noteNames(const QString &master) const;
    // The codes of `notes` of `master`, in that order: a large master macro read a part at a time.
    QList<int> codes(const QString &master, const QStringList &notes) const;
    Note note(const QString &master, const QString &name) const;

    bool addMaster(const QString &name);
    bool addNote(const QString &master, const QString &name);
    // `abbreviation`: "" takes it away; none given leaves the stored one as it is.
    bool saveNote(const QString &master, const QString &name, int code, const QString &text,
                  const std::optional<QString> &abbreviation = std::nullopt);
    // An empty `note` means the master macro itself.
    bool rename(const QString &master, const QString &note, const QString &newName);
    bool remove(const QString &master, const QString &note = QString());
    // The master macros of an import, as one change: all of them are saved or none.
    bool addMasters(const QList<Master> &masters);
    // The notes of `put` written (their master macros made as needed) and those of `drop` taken
    // out (a master macro listed there without notes goes whole), as one change that touches
    // no other note.
    bool change(const QList<Master> &put, const QList<Master> &drop);

    // What the store holds, as a merge compares it.
    StorePrints::Version prints() const;
    // The version a conflict copy is to be merged against: the latest one this machine knows both
    // it and this store to hold (see StoreBase); none for the settings file, or when there is
    // no such version.
    std::optional<StorePrints::Version> baseFor(const MacroStore &copy);

    // The file the store lives in, for messages.
    QString fileName() const;
    Stamp stamp() const;
    // The stamp of a file the settings layer reads directly (the native settings file).
    static Stamp fileStamp(const QString &file);

    // In a chosen folder: why the file cannot be read or written now ("" when it can; the store
    // then reads as it was last read whole), and what the file's last reading found damaged.
    QString problem() const;
    // "the macro store <file> cannot be written", with why the last change was refused where
    // that is known: what a message about a refused change says of the store.
    QString cannotBeWritten() const;
    QString damage() const;
    // problem() once the file was read whole, waiting a few seconds for a program that writes it.
    QString settle();
    // What the user must be told, once: the file refused, or found damaged and copied aside.
    QString takeNews();

    // The file given at construction or to setFile(): "" for the native settings file.
    QString file() const { return m_file; }
    // The store moves to `file` ("" for the native settings file); nothing is copied.
    void setFile(const QString &file);
    // What the preferences name: Keyquill.conf in the folder the user chose, "" (the native
    // settings file, beside the preferences) when none is chosen.
    static QString chosenFile();
    static inline const QString FileName = QStringLiteral("Keyquill.conf");
    // A settings object on `file` ("" for the native settings file).
    static std::unique_ptr<QSettings> openSettings(const QString &file);

private:
    // A fresh view of the store as it is on disk now.
    std::unique_ptr<QSettings> view() const;
    // Commits `write`, and tells the base what a change that reached the disk touched: notes (an
    // empty name for the master macro whole). True when it reached the disk.
    bool wrote(StoreWrite &write, const QList<QPair<QString, QString>> &touched);
    // After a change of `masters` that started on the file as it was at `before`: the snapshot
    // follows it. Returns `written`.
    bool followed(bool written, const Stamp &before, const QStringList &masters) const;

    QString m_file;
    Role m_role = Role::Store;
    std::unique_ptr<StoreMirror> m_mirror; // in a chosen folder
    std::unique_ptr<StoreBase> m_base;     // of the store in a chosen folder
    // Qt drops its parsed copy of a settings file when the last QSettings on it goes, and then
    // parses the whole file again for the next one (some 25 ms at 10,000 notes). This object
    // keeps the parse; each operation still reads through a fresh object of its own, which
    // checks the file on disk and re-reads it when it changed. The mirror keeps its own.
    std::unique_ptr<QSettings> m_keeper;
    mutable std::shared_ptr<const StoreSnapshot> m_snapshot;
    mutable MasterList m_masters; // the last listing of the master macros
    QString m_refusal;            // why the last change did not reach the disk
};
