#include "storefollower.h"

#include "editor/noteeditor.h"
#include "hotkeys/livemaster.h"
#include "store/conflictcopies.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "store/storemerge.h"
#include "widgets/dialogs.h"
#include "widgets/treerefresh.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>

namespace {

constexpr int LaterMs = 250;

} // namespace

StoreFollower::StoreFollower(QWidget *window, QTreeWidget *tree, MacroTreeItems &items,
                             MacroStore &store, LiveMaster &live, NoteEditor &editor,
                             Dialogs &dialogs)
    : QObject(window), m_window(window), m_tree(tree), m_items(items), m_store(store), m_live(live),
      m_editor(editor), m_dialogs(dialogs), m_watcher(store)
{
    m_later.setSingleShot(true);
    m_later.setInterval(LaterMs);
    connect(&m_later, &QTimer::timeout, this, &StoreFollower::follow);
    connect(&m_watcher, &StoreWatcher::changed, this, &StoreFollower::follow);
    connect(&m_watcher, &StoreWatcher::folderChanged, this, &StoreFollower::offerConflictCopies);
    m_watcher.watch(store.file());
    if (store.file().isEmpty())
        return;
    const QString folder = QFileInfo(store.file()).path();
    if (!QFileInfo(folder).isDir())
        QTimer::singleShot(0, this, [this, folder] {
            warn(tr("The folder %1 that keeps your master macros cannot be found; nothing can be "
                    "saved until it is back (or another one is chosen in the Preferences).")
                     .arg(QDir::toNativeSeparators(folder)));
        });
    QTimer::singleShot(0, this, &StoreFollower::offerConflictCopies);
}

bool StoreFollower::moveTo(const QString &folder)
{
    const QString file = folder.isEmpty() ? QString() : QDir(folder).filePath(MacroStore::FileName);
    if (file == m_store.file())
        return true;
    const QString nativeFolder = QDir::toNativeSeparators(folder);
    if (!file.isEmpty()) {
        if (!QFileInfo(folder).isDir()) {
            warn(tr("The folder %1 does not exist.").arg(nativeFolder));
            return false;
        }
        MacroStore there(file);
        bool addMine = true;
        if (!there.masters().isEmpty()) {
            const int answer = m_dialogs.choice(
                m_window, tr("Keep my master macros in…"),
                tr("The folder %1 already holds master macros (from another computer, perhaps). "
                   "Use them as they are, or add this computer's master macros to them? Nothing "
                   "is dropped either way, and this computer's master macros stay where they "
                   "were.")
                    .arg(nativeFolder),
                {tr("Use them as they are"), tr("Add mine to them")});
            if (answer < 0)
                return false;
            addMine = answer == 1;
        }
        StoreMerge merge(there, [this](const QString &name) {
            return askNewName(tr("Keep my master macros in…"), name);
        });
        const StoreMerge::Outcome outcome =
            addMine ? merge.bringIn(m_store) : StoreMerge::Outcome::Nothing;
        if (outcome == StoreMerge::Outcome::Stopped)
            return false;
        if (outcome == StoreMerge::Outcome::NotSaved) {
            warn(tr("The master macros were not added: the macro store %1 cannot be written.")
                     .arg(QDir::toNativeSeparators(there.fileName())));
            return false;
        }
    }
    if (!Preferences::saveStoreFolder(folder)) {
        warn(tr("The preferences were not saved: the settings file %1 cannot be written.")
                 .arg(QDir::toNativeSeparators(QSettings().fileName())));
        return false;
    }
    m_store.setFile(file);
    m_watcher.watch(file);
    follow();
    offerConflictCopies();
    return true;
}

void StoreFollower::follow()
{
    // A command waiting on a question holds rows of the tree: they must not go meanwhile.
    if (QApplication::activeModalWidget()) {
        m_later.start();
        return;
    }
    TreeRefresh::apply(m_tree, m_items, m_store);
    m_live.storeChanged();
    // Edits not saved yet stay (the save asks if the note changed meanwhile); a note shown as it
    // is on disk stays as it is, cursor and all.
    if (!m_editor.isDirty()) {
        const QTreeWidgetItem *current = m_tree->currentItem();
        const QTreeWidgetItem *item = current && current->parent() ? current->parent() : current;
        const QString master = item ? item->text(0) : QString();
        const QString note = current != item ? current->text(0) : QString();
        if (master != m_editor.master() || note != m_editor.note() || m_editor.changedOnDisk())
            m_editor.showNote(master, note);
    }
    Q_EMIT followed();
}

void StoreFollower::offerConflictCopies()
{
    if (m_store.file().isEmpty() || m_asking)
        return;
    QStringList fresh;
    const QStringList copies = ConflictCopies::find(m_store.fileName());
    for (const QString &copy : copies) {
        if (!m_offered.contains(copy))
            fresh.append(QDir::toNativeSeparators(copy));
    }
    if (fresh.isEmpty())
        return;
    for (const QString &copy : std::as_const(fresh))
        m_offered.insert(QDir::fromNativeSeparators(copy));
    m_asking = true;
    const bool bringIn = m_dialogs.question(
        m_window, tr("Conflict copies"),
        tr("A sync tool kept copies of the macro store from changes made on two computers at "
           "once:\n%1\n\nBring in what they hold that the store lacks? Notes that differ come in "
           "as master macros of their own; each copy is removed once its notes are in.")
            .arg(fresh.join(QLatin1Char('\n'))));
    for (int i = 0; bringIn && i < fresh.size(); ++i) {
        const QString copy = QDir::fromNativeSeparators(fresh.at(i));
        StoreMerge merge(m_store, [this](const QString &name) {
            return askNewName(tr("Conflict copies"), name);
        });
        const StoreMerge::Outcome outcome = merge.bringIn(MacroStore(copy));
        if (outcome == StoreMerge::Outcome::NotSaved)
            warn(tr("The conflict copy %1 was not brought in: the macro store %2 cannot be "
                    "written.")
                     .arg(fresh.at(i), QDir::toNativeSeparators(m_store.fileName())));
        if (outcome == StoreMerge::Outcome::Stopped || outcome == StoreMerge::Outcome::NotSaved)
            break;
        QFile::remove(copy);
    }
    m_asking = false;
    if (bringIn)
        follow();
}

QString StoreFollower::askNewName(const QString &title, const QString &candidate) const
{
    QString name = candidate;
    const QString label =
        tr("Master Macro with name \"%1\" exists. Enter new Master Macro name").arg(candidate);
    return m_dialogs.getText(m_window, title, label, &name) ? name : QString();
}

void StoreFollower::warn(const QString &text) const
{
    m_dialogs.warning(m_window, QCoreApplication::applicationName(), text);
}
