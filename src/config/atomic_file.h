// Replacing a whole file safely: the one way the program writes a file
// the user keeps (a dump, an ini file). A port to another system gives this
// function its own body; the contract stays.
#pragma once

#include <string>
#include <string_view>

#include "core/system_error_text.h"  // the reasons every caller shows

#ifndef _WIN32
#include <sys/types.h>
#endif

namespace rtd {

// Replaces the content of the file at path with bytes, so that a crash or a
// full disk never leaves a file that is half old and half new.
//
// - The new content goes to a temporary file with a short name in the same
//   directory, is synced, and is renamed over the target only when complete.
// - A symbolic link is followed: the file it names is replaced, the link
//   stays. As the system does for links in shared folders: a link in a
//   sticky, world-writable folder (/tmp) is followed only when it belongs to
//   the user or to the folder's owner, so another user cannot aim a save at
//   a file of their choice. A link to nothing is refused, never followed to
//   create a file wherever it points.
// - An existing file keeps its permission bits and (when the process may set
//   it) its owner; a new file gets 0666 less the umask. A new file that root
//   (a program run through sudo) makes in a folder of another user's belongs
//   to that folder's owner, so the user can still use and replace it.
// - An existing file without write permission is never replaced, not even by
//   root: the user made it read-only to keep it.
// - Something that is not a regular file (a directory, a FIFO, a device) is
//   never opened for writing.
// - When the directory does not let a temporary file be made but the file
//   itself may be written, the file is rewritten in place, as a plain save
//   would do; the room for the new content is reserved first, so a full
//   disk leaves the old content whole.
//
// True on success. On failure, reason holds the system's text for why
// ("Permission denied", "No space left on device", ...), and an existing file
// is as it was (except after a failed in-place rewrite, which has no other
// choice).
bool ReplaceFileContent(const std::string& path, std::string_view bytes, std::string& reason);

// Empty when path may be saved to by ReplaceFileContent as far as can be
// told before the work: a writable regular file, or nothing yet in a folder
// that exists and takes new files, reached through no refused link. Otherwise the reason, as
// ReplaceFileContent would give it. Opens nothing, so a FIFO never blocks.
std::string CheckOutputPath(const std::string& path);

// Who besides the user may change what an existing level of a folder's
// path holds, and so delete or replace what is kept below it.
enum class FolderRule {
  // A level that neither the user nor root owns and that anyone may write
  // to without the sticky bit is refused (settings: the rule files of the
  // user's own have always had).
  kForeignOpenRefused,
  // A level that someone other than the user (and root) may write to
  // without the sticky bit is refused, whoever owns it: writable by
  // everyone, or by a group with members other than the user (backups:
  // someone's only copy of a firmware).
  kOnlyUserWrites,
};

// Makes folder and every missing level above it, like mkdir -p, by the
// rules the replacement follows for files: a level that is a link in a
// sticky, world-writable folder is followed only when it belongs to the
// user or to that folder's owner, and a level that root (a program run
// through sudo -E, with the user's HOME) makes in a folder of another
// user's belongs to that folder's owner, so the next run without sudo can
// use it. A level that is there already is refused by the rule. New
// levels get mode 0700: settings and copies of a board's firmware are
// nobody else's business. Empty text when the folder is there now;
// otherwise the system's reason (or the rule's), and *level (when given)
// names the level it concerns. On Windows only the system's own refusals
// count.
std::string MakeFolders(const std::string& folder, std::string* level = nullptr,
                        FolderRule rule = FolderRule::kForeignOpenRefused);
// What MakeFolders would refuse, as far as can be told without making
// anything: a level that is there and refused by the rule, one that is no
// folder, or a deepest existing level that takes no new folder. Empty text
// when nothing stands in the way.
std::string CheckFolders(const std::string& folder, std::string* level, FolderRule rule);

#ifndef _WIN32
// The rule kOnlyUserWrites for one level, given its mode and whether its
// group has members other than the user (and root): why others may write
// there, or empty text.
std::string OthersMayWriteText(mode_t mode, bool group_has_others);
#endif

// The folder part of a path: "." when it has none, "/" for a file at the
// root. On Windows a backslash separates too.
std::string DirectoryOf(const std::string& path);

#ifndef _WIN32
// The system calls the replacement makes where the disk or the folder can
// refuse; tests put their own in to stand for a full disk.
struct FileSystemCalls {
  int (*make_temp)(char* pattern, int flags);
  int (*reserve)(int fd, off_t offset, off_t length);  // posix_fallocate
  ssize_t (*write)(int fd, const void* data, size_t size);
};
FileSystemCalls SystemFileCalls();
bool ReplaceFileContent(const std::string& path, std::string_view bytes, std::string& reason,
                        const FileSystemCalls& calls);
#endif

// The reason given when a path names something other than a regular file.
std::string NotARegularFileText();

}  // namespace rtd
