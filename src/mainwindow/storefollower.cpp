#include "storefollower.h"

#include "editor/noteeditor.h"
#include "engine/livemaster.h"
#include "store/conflictcopies.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "store/storefile.h"
#include "store/storemerge.h"
#include "widgets/dialogs.h"
#include "widgets/treerefresh.h"

#include <algorithm>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>
#include <utility>

namespace {

constexpr int LaterMs = 250;
// Of the names of what is told in one message box.
constexpr int NamesTold = 10;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString listed(QStringList lines)
{
    if (lines.size() > NamesTold) {
        const qsizetype more = lines.size() - NamesTold + 1;
        lines.resize(NamesTold - 1);
        lines << QCoreApplication::translate("StoreFollower", "(and %1 more)").arg(more);
    }
    return lines.join(QLatin1Char('\n'));
}

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
    QTimer::singleShot(0, this, &StoreFollower::tellNews);
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
        const QString problem = there.settle();
        // Found damaged: copied aside and told of, as at start, before anything is added to it.
        const QString news = there.takeNews();
        if (!news.isEmpty())
            warn(news);
        if (!problem.isEmpty()) {
            if (news.isEmpty())
                warn(tr("The macro store %1 cannot be used: %2.")
                         .arg(native(there.fileName()), problem));
            return false;
        }
        const QStringList masters = there.masters();
        bool addMine = true;
        if (!masters.isEmpty()) {
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
            warn(tr("The master macros were not added: %1.").arg(there.cannotBeWritten()));
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
    QTimer::singleShot(0, this, &StoreFollower::tellNews);
    Q_EMIT followed();
}

void StoreFollower::tellNews()
{
    const QString news = m_store.takeNews();
    if (!news.isEmpty())
        warn(news);
}

void StoreFollower::offerConflictCopies()
{
    if (m_store.file().isEmpty())
        return;
    const QStringList copies = ConflictCopies::find(m_store.fileName());
    if (m_asking) {
        // Brought in on another machine (or removed) while the question is open here.
        const auto there = [&copies](const QString &copy) { return copies.contains(copy); };
        if (!m_asked.isEmpty() && std::none_of(m_asked.cbegin(), m_asked.cend(), there))
            m_dialogs.closeQuestion();
        return;
    }
    QStringList fresh;
    QStringList refused;
    for (const QString &copy : copies) {
        if (m_offered.contains(copy))
            continue;
        m_offered.insert(copy);
        const QString problem = StoreFile::refusal(copy, StoreFile::Links::Refuse);
        if (problem.isEmpty())
            fresh.append(copy);
        else
            refused.append(tr("%1: %2").arg(native(copy), problem));
    }
    if (!refused.isEmpty())
        warn(tr("These files beside the macro store are named as conflict copies, but are not "
                "brought in:\n%1")
                 .arg(listed(refused)));
    if (fresh.isEmpty())
        return;
    m_asking = true;
    m_asked = fresh;
    QStringList names;
    for (const QString &copy : std::as_const(fresh))
        names.append(native(copy));
    const bool bringIn = m_dialogs.listQuestion(
        m_window, tr("Conflict copies"),
        tr("A sync tool kept copies of the macro store from changes made on two computers at "
           "once (listed below). Bring in what they hold that the store lacks? Notes that differ "
           "come in as master macros of their own; each copy is removed once its notes are in."),
        names);
    m_asked.clear();
    if (!bringIn) {
        m_asking = false;
        return;
    }
    m_toBringIn = fresh;
    m_keptCopies.clear();
    m_progress = new QProgressDialog(tr("Bringing in the conflict copies…"), tr("Cancel"), 0,
                                     int(fresh.size()), m_window);
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setAttribute(Qt::WA_DeleteOnClose);
    QTimer::singleShot(0, this, &StoreFollower::bringInNext);
}

void StoreFollower::bringInNext()
{
    if (m_toBringIn.isEmpty() || !m_progress || m_progress->wasCanceled()) {
        broughtIn();
        return;
    }
    const QString copy = m_toBringIn.takeFirst();
    m_progress->setValue(m_progress->value() + 1);
    // Gone: brought in on another machine meanwhile.
    if (!QFileInfo::exists(copy)) {
        QTimer::singleShot(0, this, &StoreFollower::bringInNext);
        return;
    }
    const MacroStore from(copy, MacroStore::Role::ConflictCopy);
    StoreMerge merge(
        m_store, [this](const QString &name) { return askNewName(tr("Conflict copies"), name); });
    // Against the version both sides started from, where this machine knows one.
    const StoreMerge::Outcome outcome = merge.bringIn(from, m_store.baseFor(from));
    if (!from.problem().isEmpty()) {
        m_keptCopies.append(tr("%1: %2").arg(native(copy), from.problem()));
    } else if (outcome == StoreMerge::Outcome::NotSaved) {
        warn(tr("The conflict copy %1 was not brought in: %2.")
                 .arg(native(copy), m_store.cannotBeWritten()));
        m_toBringIn.clear();
    } else if (outcome == StoreMerge::Outcome::Stopped) {
        m_toBringIn.clear(); // the copy stays, and all it holds
    } else if (!from.damage().isEmpty()) {
        // What could not be read of it is only there.
        m_keptCopies.append(tr("%1: %2").arg(native(copy), from.damage()));
    } else {
        QFile::remove(copy);
    }
    QTimer::singleShot(0, this, &StoreFollower::bringInNext);
}

void StoreFollower::broughtIn()
{
    if (m_progress)
        m_progress->close();
    m_toBringIn.clear();
    m_asking = false;
    follow();
    if (!m_keptCopies.isEmpty())
        warn(tr("These conflict copies are kept, as not all they hold could be read (what "
                "could is in):\n%1")
                 .arg(listed(std::exchange(m_keptCopies, {}))));
    offerConflictCopies(); // those that came meanwhile
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
