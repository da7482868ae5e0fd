#include "macrostore.h"

#include "store/preferences.h"
#include "store/storebase.h"
#include "store/storemirror.h"
#include "store/storesnapshot.h"
#include "store/storewrite.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QVariant>

namespace {

// Longer than a file needs to be trusted once it holds still (StoreMirror).
constexpr int CopyReadMs = 2000;
constexpr int SettleMs = 3000;

// A fresh view of the note groups of `master`.
class NotesOf final
{
public:
    NotesOf(std::unique_ptr<QSettings> open, const QString &master) : m_open(std::move(open))
    {
        m_settings.beginGroup(MacroStore::MasterMacrosGroup);
        m_settings.beginGroup(master);
        m_settings.beginGroup(MacroStore::MacrosGroup);
    }
    QSettings &settings() { return m_settings; }

    template <typename Visit> void forEach(Visit visit)
    {
        const QStringList notes = m_settings.childGroups();
        for (const QString &note : notes) {
            m_settings.beginGroup(note);
            const bool goOn = visit(note, m_settings);
            m_settings.endGroup();
            if (!goOn)
                return;
        }
    }

private:
    std::unique_ptr<QSettings> m_open;
    QSettings &m_settings = *m_open;
};

// The notes of the group `store` is in (a master macro's Macros), in store order.
QList<MacroStore::Note> notesHere(QSettings &store)
{
    const QStringList names = store.childGroups();
    QList<MacroStore::Note> notes;
    notes.reserve(names.size());
    for (const QString &name : names) {
        store.beginGroup(name);
        notes.append({name, MacroStore::readCode(store), MacroStore::readText(store),
                      MacroStore::readAbbreviation(store)});
        store.endGroup();
    }
    return notes;
}

} // namespace

int MacroStore::buildCode(bool ctrl, bool alt, bool shift, int key)
{
    return (ctrl ? CtrlBit : 0) + (alt ? AltBit : 0) + (shift ? ShiftBit : 0) + key;
}

int MacroStore::readCode(const QVariant &value)
{
    return value.toInt();
}

int MacroStore::readCode(const QSettings &settings)
{
    return readCode(settings.value(ShortcutKey, QString()));
}

QString MacroStore::readText(const QSettings &settings)
{
    const QVariant value = settings.value(TextKey, QString());
    // An unquoted comma in a file edited by hand makes the settings layer read a list of the
    // parts, each without the spaces around it; ", " puts back the usual spelling.
    if (value.typeId() == QMetaType::QStringList)
        return withoutLoneSurrogates(value.toStringList().join(QStringLiteral(", ")));
    return withoutLoneSurrogates(value.toString());
}

QString MacroStore::readAbbreviation(const QSettings &settings)
{
    const QString abbreviation = settings.value(AbbreviationKey).toString();
    return isAbbreviation(abbreviation) ? abbreviation : QString();
}

bool MacroStore::isAbbreviation(const QString &abbreviation)
{
    if (abbreviation.isEmpty())
        return false;
    qsizetype characters = 0;
    for (const char32_t c : abbreviation.toUcs4()) {
        // A lone half of a surrogate pair could never be typed either.
        if (QChar::isSpace(c) || QChar::category(c) == QChar::Other_Control ||
            QChar::category(c) == QChar::Other_Surrogate)
            return false;
        ++characters;
    }
    return characters <= AbbreviationMaxLength;
}

QString MacroStore::withoutLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

bool MacroStore::isStorableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

MacroStore::MacroStore() : MacroStore(chosenFile()) {}

MacroStore::MacroStore(const MasterList &listed) : MacroStore()
{
    if (!m_mirror)
        m_masters = listed;
}

MacroStore::MacroStore(const QString &file, Role role) : m_role(role)
{
    setFile(file);
}

MacroStore::~MacroStore() = default;

void MacroStore::setFile(const QString &file)
{
    m_file = file;
    m_keeper.reset();
    m_base.reset();
    m_mirror.reset();
    m_snapshot.reset();
    m_masters = {};
    if (file.isEmpty()) {
        m_keeper = openSettings(file);
        return;
    }
    if (m_role == Role::Store)
        StoreWrite::removeLeftovers(file);
    m_mirror = std::make_unique<StoreMirror>(file, m_role == Role::Store ? StoreMirror::Role::Store
                                                                         : StoreMirror::Role::Copy);
    if (m_role != Role::Store)
        return;
    // Beside this machine's settings: it belongs to this machine alone.
    m_base = std::make_unique<StoreBase>(file, QFileInfo(QSettings().fileName()).absolutePath() +
                                                   QStringLiteral("/Keyquill.bases"));
    m_mirror->setOnRead([this] {
        m_base->read(m_mirror->facts(),
                     [this] { return StorePrints::read(*m_mirror->settings()); });
    });
}

std::unique_ptr<QSettings> MacroStore::view() const
{
    if (!m_mirror)
        return openSettings(m_file);
    // A read of the store waits for no writer: while none can be had whole, the last whole one
    // stands. A conflict copy is read once, for good, and may just have come.
    m_mirror->refresh(m_role == Role::Store ? 0 : CopyReadMs);
    return m_mirror->settings();
}

QString MacroStore::fileName() const
{
    return m_mirror ? m_mirror->file() : m_keeper->fileName();
}

QString MacroStore::problem() const
{
    if (!m_mirror)
        return {};
    m_mirror->refresh(0);
    return m_mirror->problem();
}

QString MacroStore::cannotBeWritten() const
{
    const QString file = QDir::toNativeSeparators(fileName());
    return m_refusal.isEmpty()
               ? QCoreApplication::translate("MacroStore", "the macro store %1 cannot be written")
                     .arg(file)
               : QCoreApplication::translate("MacroStore",
                                             "the macro store %1 cannot be written (%2)")
                     .arg(file, m_refusal);
}

QString MacroStore::settle()
{
    if (!m_mirror)
        return {};
    m_mirror->refresh(SettleMs);
    return m_mirror->problem();
}

QString MacroStore::damage() const
{
    return m_mirror ? m_mirror->damage() : QString();
}

QString MacroStore::takeNews()
{
    return m_mirror ? m_mirror->takeNews() : QString();
}

QString MacroStore::chosenFile()
{
    const QString folder = Preferences::load().storeFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(FileName);
}

std::unique_ptr<QSettings> MacroStore::openSettings(const QString &file)
{
    // INI wherever the file is: a store in a shared folder is read by every system alike.
    return file.isEmpty() ? std::make_unique<QSettings>()
                          : std::make_unique<QSettings>(file, QSettings::IniFormat);
}

MacroStore::Stamp MacroStore::stamp() const
{
    if (m_mirror) {
        m_mirror->refresh(0);
        // What was seen, read or not: a file refused or kept changing is news too.
        const StoreFile::Facts &facts = m_mirror->seen();
        return {facts.size, facts.modifiedNs, facts.changedNs, m_mirror->generation()};
    }
    return fileStamp(fileName());
}

MacroStore::Stamp MacroStore::fileStamp(const QString &name)
{
    const QFileInfo file(name);
    if (!file.exists())
        return {};
    return {file.size(), file.lastModified().toMSecsSinceEpoch(),
            file.metadataChangeTime().toMSecsSinceEpoch(), 0};
}

std::shared_ptr<const StoreSnapshot> MacroStore::snapshot() const
{
    const Stamp now = stamp();
    if (m_snapshot && m_snapshot->stamp() == now)
        return m_snapshot;
    const std::unique_ptr<QSettings> open = view();
    QSettings &store = *open;
    store.beginGroup(MasterMacrosGroup);
    const QStringList names = store.childGroups();
    QList<Master> masters;
    masters.reserve(names.size());
    for (const QString &name : names) {
        store.beginGroup(name + QLatin1Char('/') + MacrosGroup);
        masters.append({name, notesHere(store)});
        store.endGroup();
    }
    m_snapshot = std::make_shared<const StoreSnapshot>(std::move(masters), now);
    return m_snapshot;
}

bool MacroStore::followed(bool written, const Stamp &before, const QStringList &masters) const
{
    // A change of ours may leave the file's stamp as it was (same size, same millisecond).
    m_masters = {};
    if (!written || !m_snapshot)
        return written;
    // Only what this change touched is read again, when the snapshot held the file as it was
    // just before it (in a chosen folder: and the write went on that very reading).
    const Stamp after = stamp();
    if (m_snapshot->stamp() != before || (m_mirror && after.generation != before.generation + 1)) {
        m_snapshot.reset();
        return written;
    }
    const std::unique_ptr<QSettings> open = view();
    QSettings &store = *open;
    store.beginGroup(MasterMacrosGroup);
    const QStringList present = store.childGroups();
    StoreSnapshot next = *m_snapshot;
    for (const QString &master : masters) {
        store.beginGroup(master + QLatin1Char('/') + MacrosGroup);
        next = next.with(master, notesHere(store), !present.contains(master), after);
        store.endGroup();
    }
    m_snapshot = std::make_shared<const StoreSnapshot>(std::move(next));
    return written;
}

QStringList MacroStore::masters() const
{
    const Stamp now = stamp();
    if (m_masters.stamp.size >= 0 && m_masters.stamp == now)
        return m_masters.names;
    if (m_snapshot && m_snapshot->stamp() == now) {
        QStringList names;
        names.reserve(m_snapshot->masters().size());
        for (const Master &master : m_snapshot->masters())
            names.append(master.name);
        m_masters = {names, now};
        return names;
    }
    const std::unique_ptr<QSettings> store = view();
    store->beginGroup(MasterMacrosGroup);
    m_masters = {store->childGroups(), now};
    return m_masters.names;
}

QList<MacroStore::Outline> MacroStore::outline() const
{
    const std::unique_ptr<QSettings> open = view();
    QSettings &store = *open;
    store.beginGroup(MasterMacrosGroup);
    const QStringList masters = store.childGroups();
    QList<Outline> result;
    result.reserve(masters.size());
    for (const QString &master : masters) {
        store.beginGroup(master + QLatin1Char('/') + MacrosGroup);
        result.append({master, store.childGroups(), {}});
        store.endGroup();
    }
    return result;
}

QList<MacroStore::Outline> MacroStore::outline(const QStringList &masters) const
{
    const std::unique_ptr<QSettings> open = view();
    QSettings &store = *open;
    store.beginGroup(MasterMacrosGroup);
    QList<Outline> result;
    result.reserve(masters.size());
    for (const QString &master : masters) {
        store.beginGroup(master + QLatin1Char('/') + MacrosGroup);
        Outline outline{master, store.childGroups(), {}};
        outline.codes.reserve(outline.notes.size());
        for (const QString &note : std::as_const(outline.notes))
            outline.codes.append(readCode(store.value(note + QLatin1Char('/') + ShortcutKey)));
        store.endGroup();
        result.append(outline);
    }
    return result;
}

bool MacroStore::hasMaster(const QString &name) const
{
    return masters().contains(name, Qt::CaseInsensitive);
}

QList<MacroStore::Note> MacroStore::notes(const QString &master) const
{
    QList<Note> result;
    NotesOf(view(), master).forEach([&result](const QString &name, const QSettings &note) {
        result.append({name, readCode(note), readText(note), readAbbreviation(note)});
        return true;
    });
    return result;
}

QList<MacroStore::Note> MacroStore::notesNow(const QString &master) const
{
    if (m_snapshot && m_snapshot->stamp() == stamp()) {
        const Master *read = m_snapshot->master(master);
        return read ? read->notes : QList<Note>();
    }
    return notes(master);
}

QList<MacroStore::NoteCode> MacroStore::noteCodes(const QString &master) const
{
    QList<NoteCode> result;
    NotesOf(view(), master).forEach([&result](const QString &name, const QSettings &note) {
        result.append({name, readCode(note)});
        return true;
    });
    return result;
}

QStringList MacroStore::noteNames(const QString &master) const
{
    NotesOf notes(view(), master);
    return notes.settings().childGroups();
}

QList<int> MacroStore::codes(const QString &master, const QStringList &notes) const
{
    NotesOf group(view(), master);
    QSettings &store = group.settings();
    QList<int> result;
    result.reserve(notes.size());
    for (const QString &note : notes)
        result.append(readCode(store.value(note + QLatin1Char('/') + ShortcutKey)));
    return result;
}

MacroStore::Note MacroStore::note(const QString &master, const QString &name) const
{
    NotesOf notes(view(), master);
    notes.settings().beginGroup(name);
    return {name, readCode(notes.settings()), readText(notes.settings()),
            readAbbreviation(notes.settings())};
}

bool MacroStore::addMaster(const QString &name)
{
    const Stamp before = stamp();
    const QString path = StoreWrite::groupPath(name);
    StoreWrite write({path}, m_mirror.get());
    write.settings().setValue(path + QLatin1Char('/') + DescriptionKey, QString());
    return followed(wrote(write, {{name, QString()}}), before, {name});
}

bool MacroStore::addNote(const QString &master, const QString &name)
{
    const Stamp before = stamp();
    const QString path = StoreWrite::groupPath(master, name);
    StoreWrite write({path}, m_mirror.get());
    write.settings().beginGroup(path);
    // Strings both: a new note reads back as having no hot key and no text.
    write.settings().setValue(ShortcutKey, QString());
    write.settings().setValue(TextKey, QString());
    write.settings().endGroup();
    return followed(wrote(write, {{master, name}}), before, {master});
}

bool MacroStore::saveNote(const QString &master, const QString &name, int code, const QString &text,
                          const std::optional<QString> &abbreviation)
{
    const Stamp before = stamp();
    const QString path = StoreWrite::groupPath(master, name);
    StoreWrite write({path}, m_mirror.get());
    write.settings().beginGroup(path);
    write.settings().setValue(ShortcutKey, code);
    write.settings().setValue(TextKey, text);
    if (abbreviation && abbreviation->isEmpty())
        write.settings().remove(AbbreviationKey);
    else if (abbreviation)
        write.settings().setValue(AbbreviationKey, *abbreviation);
    write.settings().endGroup();
    return followed(wrote(write, {{master, name}}), before, {master});
}

bool MacroStore::rename(const QString &master, const QString &note, const QString &newName)
{
    const Stamp before = stamp();
    const bool isMaster = note.isEmpty();
    const QString from =
        isMaster ? StoreWrite::groupPath(master) : StoreWrite::groupPath(master, note);
    const QString to =
        isMaster ? StoreWrite::groupPath(newName) : StoreWrite::groupPath(master, newName);
    StoreWrite write({from, to}, m_mirror.get());
    if (isMaster) {
        // A master macro keeps (or gains) its description.
        const QString description = QLatin1Char('/') + DescriptionKey;
        write.settings().setValue(to + description,
                                  write.settings().value(from + description, QString()).toString());
    }
    write.copyGroup(from, to);
    write.settings().remove(from);
    if (isMaster)
        return followed(wrote(write, {{master, QString()}, {newName, QString()}}), before,
                        {master, newName});
    return followed(wrote(write, {{master, note}, {master, newName}}), before, {master});
}

bool MacroStore::remove(const QString &master, const QString &note)
{
    const Stamp before = stamp();
    const QString path =
        note.isEmpty() ? StoreWrite::groupPath(master) : StoreWrite::groupPath(master, note);
    StoreWrite write({path}, m_mirror.get());
    write.settings().remove(path);
    return followed(wrote(write, {{master, note}}), before, {master});
}

bool MacroStore::addMasters(const QList<Master> &masters)
{
    const Stamp before = stamp();
    QStringList names;
    StoreWrite write({}, m_mirror.get());
    QSettings &store = write.settings();
    for (const Master &master : masters) {
        names.append(master.name);
        const QString group = StoreWrite::groupPath(master.name);
        write.addGroup(group);
        store.beginGroup(group);
        store.beginGroup(MacrosGroup);
        for (const Note &note : master.notes) {
            store.beginGroup(note.name);
            store.setValue(ShortcutKey, note.code);
            store.setValue(TextKey, note.text);
            if (!note.abbreviation.isEmpty())
                store.setValue(AbbreviationKey, note.abbreviation);
            store.endGroup();
        }
        store.endGroup();
        store.endGroup();
    }
    QList<QPair<QString, QString>> touched;
    for (const Master &master : masters)
        touched.append({master.name, QString()});
    return followed(wrote(write, touched), before, names);
}

bool MacroStore::change(const QList<Master> &put, const QList<Master> &drop)
{
    const Stamp before = stamp();
    QStringList groups;
    QStringList changed;
    QList<QPair<QString, QString>> touched;
    const auto touch = [&](const QString &master, const QString &note) {
        groups.append(note.isEmpty() ? StoreWrite::groupPath(master)
                                     : StoreWrite::groupPath(master, note));
        touched.append({master, note});
        if (!changed.contains(master))
            changed.append(master);
    };
    for (const QList<Master> *masters : {&drop, &put})
        for (const Master &master : *masters) {
            if (master.notes.isEmpty())
                touch(master.name, QString());
            for (const Note &note : master.notes)
                touch(master.name, note.name);
        }
    StoreWrite write(groups, m_mirror.get());
    QSettings &store = write.settings();
    for (const Master &master : drop) {
        if (master.notes.isEmpty())
            store.remove(StoreWrite::groupPath(master.name));
        for (const Note &note : master.notes)
            store.remove(StoreWrite::groupPath(master.name, note.name));
    }
    for (const Master &master : put) {
        const QString group = StoreWrite::groupPath(master.name);
        store.beginGroup(group);
        // A master macro without notes is made as "Add Master Macro" makes one.
        if (master.notes.isEmpty() && store.allKeys().isEmpty())
            store.setValue(DescriptionKey, QString());
        store.beginGroup(MacrosGroup);
        for (const Note &note : master.notes) {
            store.beginGroup(note.name);
            store.setValue(ShortcutKey, note.code);
            store.setValue(TextKey, note.text);
            store.endGroup();
        }
        store.endGroup();
        store.endGroup();
    }
    return followed(wrote(write, touched), before, changed);
}

StorePrints::Version MacroStore::prints() const
{
    return StorePrints::read(*view());
}

std::optional<StorePrints::Version> MacroStore::baseFor(const MacroStore &copy)
{
    if (!m_base)
        return std::nullopt;
    // The store's latest reading is known to the base first.
    m_mirror->refresh(0);
    return m_base->baseFor(copy.prints(), copy.stamp().modified);
}

bool MacroStore::wrote(StoreWrite &write, const QList<QPair<QString, QString>> &touched)
{
    const bool committed = write.commit();
    m_refusal = committed ? QString() : write.why();
    if (!committed || !m_base)
        return committed;
    // The mirror as published: no new reading of the file comes in between.
    const std::unique_ptr<QSettings> open = m_mirror->settings();
    QSettings &store = *open;
    store.beginGroup(MasterMacrosGroup);
    // Only the groups touched are looked at: a save stays as cheap in a large store.
    const auto holds = [&store](const QString &group) {
        store.beginGroup(group);
        const bool there = !store.childKeys().isEmpty() || !store.childGroups().isEmpty();
        store.endGroup();
        return there;
    };
    StorePrints::Version now;
    QStringList masters;
    for (const auto &[master, note] : touched) {
        const bool there = holds(master);
        if (note.isEmpty()) {
            masters.append(master);
            if (there)
                now.insert(master, StorePrints::readMaster(store, master));
            continue;
        }
        StorePrints::Notes &notes = now[master];
        notes.insert(QString(), there ? StorePrints::Master : StorePrints::Absent);
        const QString group = master + QLatin1Char('/') + MacrosGroup + QLatin1Char('/') + note;
        quint64 print = StorePrints::Absent;
        if (holds(group)) {
            store.beginGroup(group);
            print = StorePrints::of(readCode(store), readText(store));
            store.endGroup();
        }
        notes.insert(note, print);
    }
    m_base->wrote(m_mirror->facts(), now, masters);
    return committed;
}
