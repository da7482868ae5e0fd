#pragma once

#include "store/storefile.h"

#include <functional>
#include <memory>
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

class QSettings;
class QTemporaryDir;

// A file of a folder the user chose (the store, or a sync tool's conflict copy of it), seen
// through a private copy. The settings layer reads a file by itself: a blocking open, all of
// it, whatever it holds at that moment, and again before each write. So it never sees the real
// file: each whole read of that (StoreFile) goes into a mirror in the user's private runtime
// folder, which the settings layer parses and writes, and a change goes back by a rename
// (publish()). Between whole reads the mirror keeps the last one.
class StoreMirror final
{
public:
    enum class Role {
        Store, // followed; damage is copied aside before anything is written; kept private
        Copy,  // read once, only to be brought in; never written
    };

    StoreMirror(const QString &file, Role role);
    ~StoreMirror();
    StoreMirror(const StoreMirror &) = delete;
    StoreMirror &operator=(const StoreMirror &) = delete;

    QString file() const { return m_file; }

    // Makes the mirror hold the file as it is now, waiting up to `budgetMs` for a writer to
    // finish. False when no whole read could be had; the mirror then holds the last one.
    bool refresh(int budgetMs);
    // A fresh view of the mirror.
    std::unique_ptr<QSettings> settings() const;
    // What the mirror holds now, as the settings layer last wrote it.
    QByteArray bytes() const;
    // Of the file whose content the mirror holds; `generation` grows with every new content.
    const StoreFile::Facts &facts() const { return m_facts; }
    // Of the file at the last look, whether it could be read or not.
    const StoreFile::Facts &seen() const { return m_seen; }
    quint64 generation() const { return m_generation; }

    // Why nothing may be written to the file now ("" when it may). Tries once more to keep a
    // copy of a damaged store that could not be kept.
    QString problem();
    // The last finding that the file does not read as it was written ("" for none).
    QString damage() const { return m_damage; }
    // What the user must be told, once: the file refused, or found damaged and copied aside.
    QString takeNews() { return std::exchange(m_news, QString()); }

    // Puts `bytes` in the file's place while it is still the file the mirror was read from.
    StoreFile::Replaced publish(const QByteArray &bytes);
    // Forgets the mirror's content: what was written in it was not published.
    void discard();
    // Called whenever the mirror takes a new reading of the file that reads as written (or finds
    // there is no file), with facts() and settings() already those of it.
    void setOnRead(std::function<void()> onRead) { m_onRead = std::move(onRead); }

private:
    bool take(const StoreFile::Read &read);
    void load(const QByteArray &bytes);
    void checkDamage(const QByteArray &bytes);
    void refuse(const StoreFile::Read &read);

    QString m_file;
    Role m_role;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;                      // the mirror
    std::unique_ptr<QSettings> m_keeper; // holds the settings layer's parse of the mirror
    StoreFile::Facts m_facts;            // of the content the mirror holds
    StoreFile::Facts m_seen;             // at the last look
    bool m_looked = false;
    bool m_whole = true; // the last look gave a whole read
    QElapsedTimer m_lookedAt;
    quint64 m_generation = 0;
    qint64 m_stampMs = 0; // the mirror's last modification time, as set here
    QString m_problem;
    QString m_damage;
    QString m_news;
    QString m_told; // the last refusal the user was told of
    bool m_copyOwed = false;
    std::function<void()> m_onRead;
};
