// StoreWatcher on Linux: inotify sees every change made through this kernel, so a folder on a
// local file system needs no poll. On a network share or a user-space file system (sshfs, rclone,
// gvfs) the changes of other machines come without a notice, and so does anything unknown.
#include "storewatcher.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <sys/vfs.h>

namespace {

// Magic numbers of local file systems (linux/magic.h).
constexpr std::array<unsigned long, 17> LocalFileSystems = {
    0xEF53,     // ext2, ext3, ext4
    0x58465342, // XFS
    0x9123683E, // Btrfs
    0x01021994, // tmpfs
    0x858458F6, // ramfs
    0xF2F52010, // F2FS
    0x3153464A, // JFS
    0x52654973, // ReiserFS
    0x2FC12FC1, // ZFS
    0xCA451A4E, // bcachefs
    0x3434,     // NILFS
    0x794C7630, // overlayfs
    0x4D44,     // FAT
    0x2011BAB0, // exFAT
    0x7366746E, // NTFS (ntfs3)
    0x5346544E, // NTFS (ntfs-3g is FUSE; the old kernel driver)
    0x15013346, // UDF
};

} // namespace

bool StoreWatcher::noticesEveryChange(const QString &folder)
{
    struct statfs info = {};
    if (::statfs(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    const auto type = static_cast<unsigned long>(info.f_type);
    return std::find(LocalFileSystems.cbegin(), LocalFileSystems.cend(), type) !=
           LocalFileSystems.cend();
}
