// MakeFolders and CheckFolders on POSIX systems: every folder the system
// passes through on the way to the one asked for, links followed as the
// system follows them, is held to the folder rule.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <vector>

#include "config/access_list.h"
#include "config/atomic_file.h"
#include "config/shared_folder_links.h"
#include "core/output_services.h"
#include "i18n/lang.h"

namespace rtd {

namespace {

std::string OpenForeignFolderText() {
  return PickLangText(LANG_TEXT(
      "папка другого пользователя, в которую может писать кто угодно; не используется",
      "a folder of another user's that anyone may write to; not used"));
}

// A folder that neither the user nor root owns and that anyone may write to
// without the sticky bit: whoever made it (or anyone at all) can delete,
// rename or replace what lies in it, backups included.
bool IsOpenForeignFolder(const struct stat& st) {
  return (st.st_mode & S_IWOTH) != 0 && (st.st_mode & S_ISVTX) == 0 && st.st_uid != ::geteuid() &&
         st.st_uid != 0;
}

// Whether anyone but the user and root belongs to the group: named as a
// member, or having it as their own group.
bool GroupHasOthers(gid_t gid) {
  const uid_t me = ::geteuid();
  const auto other = [me](uid_t uid) { return uid != me && uid != 0; };
  if (const group* g = ::getgrgid(gid)) {
    for (char** member = g->gr_mem; *member != nullptr; ++member) {
      const passwd* p = ::getpwnam(*member);
      if (p == nullptr || other(p->pw_uid)) return true;
    }
  }
  bool found = false;
  ::setpwent();
  while (const passwd* p = ::getpwent()) {
    if (p->pw_gid == gid && other(p->pw_uid)) {
      found = true;
      break;
    }
  }
  ::endpwent();
  return found;
}

// A path, or setfacl's list of entries (a group name may hold blanks), as
// one word of a shell command line: quoted unless it holds only characters
// no shell treats specially.
std::string ShellWord(const std::string& path) {
  const bool plain = !path.empty() && path.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789/._-+,:@%=") == std::string::npos;
  if (plain) return path;
  std::string word = "'";
  for (const char c : path) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

// The access list's entries for users other than the user, root and the
// folder's owner, and for groups with such members, that may write: what
// they are called and how setfacl names them. Empty when there are none.
std::string AccessListWritersText(const std::string& folder, const struct stat& st,
                                  const GroupClassWriters& writers) {
  const uid_t me = ::geteuid();
  std::string who;
  std::string entries;
  const auto add = [&who, &entries](const char* kind, const char* tag, const std::string& name) {
    who += (who.empty() ? "" : ", ") + FormatText(kind, name.c_str());
    entries += (entries.empty() ? "" : ",") + std::string(tag) + name;
  };
  for (const uid_t uid : writers.users) {
    if (uid == me || uid == 0 || uid == st.st_uid) continue;
    const passwd* p = ::getpwuid(uid);
    add(PickLangText(LANG_TEXT("пользователь %s", "user %s")), "u:",
        p != nullptr ? p->pw_name : std::to_string(uid));
  }
  for (const gid_t gid : writers.groups) {
    if (!GroupHasOthers(gid)) continue;
    const group* g = ::getgrgid(gid);
    add(PickLangText(LANG_TEXT("группа %s", "group %s")), "g:",
        g != nullptr ? g->gr_name : std::to_string(gid));
  }
  if (who.empty()) return {};
  // Only the folder's owner (or root) may change its list.
  const char* sudo = (me != 0 && st.st_uid != me) ? "sudo " : "";
  return FormatText(
      PickLangText(LANG_TEXT(
          "список доступа этой папки позволяет писать в неё другим (%s): они могут удалить или "
          "подменить резервные копии. Снять это право: %ssetfacl -x %s %s",
          "its access list lets others write to this folder (%s): they could delete or "
          "replace the backups. To take that right away: %ssetfacl -x %s %s")),
      who.c_str(), sudo, ShellWord(entries).c_str(), ShellWord(folder).c_str());
}

// The rule kOnlyUserWrites for one folder, its access list included.
std::string OthersMayWriteThere(const std::string& folder, const struct stat& st) {
  if ((st.st_mode & (S_ISVTX | S_IWOTH)) != 0) return OthersMayWriteText(st.st_mode, false);
  GroupClassWriters writers;
  if (const int error = ReadGroupClassWriters(folder, st.st_mode, writers); error != 0)
    return SystemErrorText(error);
  if (std::string text = AccessListWritersText(folder, st, writers); !text.empty()) return text;
  // With an access list the mode's group bits are its mask: the owning
  // group's own entry says whether the group may write.
  return OthersMayWriteText(writers.owning_group ? S_IWGRP : 0,
                            writers.owning_group && GroupHasOthers(st.st_gid));
}

std::string RefusedFolder(const std::string& folder, FolderRule rule) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  if (rule == FolderRule::kForeignOpenRefused)
    return IsOpenForeignFolder(st) ? OpenForeignFolderText() : std::string();
  return OthersMayWriteThere(folder, st);
}

// The way the system goes to a path: every folder it looks a name up in,
// in order (whoever may write to one of them can replace what the name
// leads to), and where it arrives. A relative path starts at the working
// folder; ".." leaves the folder arrived at, not the link that led there.
struct SystemWay {
  std::vector<std::string> folders;
  std::string arrival;
};

std::vector<std::string> NamesOf(const std::string& path) {
  std::vector<std::string> names;
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    if (slash > start) names.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return names;
}

// Empty text when the way is there; else the reason, and *where the place
// it concerns. Links are followed by the system's rule for links in shared
// folders, at most 40 of them, as the system does.
std::string FollowTheSystemsWay(const std::string& path, SystemWay& way, std::string* where) {
  const auto stop = [where](const std::string& place, std::string reason) {
    *where = place;
    return reason;
  };
  std::string current = "/";
  if (path.empty() || path[0] != '/') {
    char* working = ::getcwd(nullptr, 0);
    if (working == nullptr) return stop(".", SystemErrorText(errno));
    current = working;
    std::free(working);
  }
  std::vector<std::string> ahead = NamesOf(path);  // the next name last
  std::reverse(ahead.begin(), ahead.end());
  for (int links = 0; !ahead.empty();) {
    const std::string name = std::move(ahead.back());
    ahead.pop_back();
    if (name == ".") continue;
    if (name == "..") {
      current = DirectoryOf(current);
      continue;
    }
    if (way.folders.empty() || way.folders.back() != current) way.folders.push_back(current);
    const std::string next = current == "/" ? "/" + name : current + "/" + name;
    struct stat st {};
    if (::lstat(next.c_str(), &st) != 0) return stop(next, SystemErrorText(errno));
    if (!S_ISLNK(st.st_mode)) {
      if (!ahead.empty() && !S_ISDIR(st.st_mode)) return stop(next, SystemErrorText(ENOTDIR));
      current = next;
      continue;
    }
    if (IsForeignLink(next, st.st_uid)) return stop(next, ForeignLinkText());
    if (++links > 40) return stop(path, SystemErrorText(ELOOP));
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(next.c_str(), target.data(), target.size());
    if (n < 0) return stop(next, SystemErrorText(errno));
    target.resize(static_cast<std::size_t>(n));
    if (!target.empty() && target[0] == '/') current = "/";
    const std::vector<std::string> names = NamesOf(target);
    ahead.insert(ahead.end(), names.rbegin(), names.rend());
  }
  way.arrival = current;
  return {};
}

// An existing level of the path, followed the way the system goes to it:
// a link refused by the system's rule for shared folders, or a folder on
// the way (the level itself included) that the rule refuses. Folders in
// checked are not looked at again. The reason and *where, or empty text.
std::string RefusedLevel(const std::string& step, FolderRule rule,
                         std::set<std::string>& checked, std::string* where) {
  SystemWay way;
  if (std::string reason = FollowTheSystemsWay(step, way, where); !reason.empty()) return reason;
  way.folders.push_back(way.arrival);
  for (const std::string& folder : way.folders) {
    if (!checked.insert(folder).second) continue;
    if (std::string reason = RefusedFolder(folder, rule); !reason.empty()) {
      *where = folder;
      return reason;
    }
  }
  return {};
}

// The walk of MakeFolders and CheckFolders, level by level from the top;
// with make false it stops at the first missing level, which the deepest
// existing one must let the user make.
std::string WalkFolders(const std::string& folder, std::string* level, FolderRule rule,
                        bool make) {
  auto failed = [level](const std::string& which, int error) {
    if (level != nullptr) *level = which;
    return SystemErrorText(error);
  };
  if (folder.empty()) return failed(folder, ENOENT);
  std::set<std::string> checked;
  std::string above = folder[0] == '/' ? "/" : ".";
  for (std::size_t next = 1;;) {
    const std::size_t slash = folder.find('/', next);
    const std::string step = folder.substr(0, slash);
    // ("a//b" has an empty step.)
    if (step.back() != '/') {
      struct stat st {};
      if (!make && ::stat(step.c_str(), &st) != 0) {
        if (errno != ENOENT) return failed(step, errno);
        // A link to nothing takes the name: no folder could be made there,
        // and following it tells where the way ends.
        if (::lstat(step.c_str(), &st) == 0) {
          std::string where;
          std::string refused = RefusedLevel(step, rule, checked, &where);
          if (refused.empty()) return failed(step, ENOENT);
          if (level != nullptr) *level = where;
          return refused;
        }
        if (::access(above.c_str(), W_OK | X_OK) != 0) return failed(above, errno);
        return {};
      }
      if (make && ::mkdir(step.c_str(), 0700) == 0) {
        struct stat parent {};
        if (::geteuid() == 0 && ::stat(DirectoryOf(step).c_str(), &parent) == 0 &&
            parent.st_uid != 0 && ::lchown(step.c_str(), parent.st_uid, parent.st_gid) != 0)
          return failed(step, errno);
      } else if (make && errno != EEXIST) {
        return failed(step, errno);
      } else {
        std::string where;
        if (std::string refused = RefusedLevel(step, rule, checked, &where); !refused.empty()) {
          if (level != nullptr) *level = where;
          return refused;
        }
      }
      above = step;
    }
    if (slash == std::string::npos) break;
    next = slash + 1;
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return failed(folder, errno);
  if (!S_ISDIR(st.st_mode)) return failed(folder, ENOTDIR);
  return {};
}

}  // namespace

std::string OthersMayWriteText(mode_t mode, bool group_has_others) {
  if ((mode & S_ISVTX) != 0) return {};
  if ((mode & S_IWOTH) != 0)
    return PickLangText(LANG_TEXT(
        "в эту папку может писать кто угодно: любой может удалить или подменить резервные копии",
        "anyone may write to this folder: anyone could delete or replace the backups"));
  if ((mode & S_IWGRP) != 0 && group_has_others)
    return PickLangText(LANG_TEXT(
        "в эту папку может писать её группа, а в ней есть другие пользователи: они могут удалить "
        "или подменить резервные копии",
        "this folder's group may write to it, and other users belong to that group: they could "
        "delete or replace the backups"));
  return {};
}

std::string MakeFolders(const std::string& folder, std::string* level, FolderRule rule) {
  return WalkFolders(folder, level, rule, true);
}

std::string CheckFolders(const std::string& folder, std::string* level, FolderRule rule) {
  return WalkFolders(folder, level, rule, false);
}

}  // namespace rtd
