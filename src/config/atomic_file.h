// Replacing a whole file safely: the one way the program writes a file
// the user keeps (a dump, an ini file). A port to another system gives this
// function its own body; the contract stays.
#pragma once

#include <string>
#include <string_view>

namespace rtd {

// Replaces the content of the file at path with bytes, so that a crash or a
// full disk never leaves a file that is half old and half new.
//
// - The new content goes to a temporary file with a short name in the same
//   directory, is synced, and is renamed over the target only when complete.
// - A symbolic link is followed: the file it names is replaced, the link
//   stays.
// - An existing file keeps its permission bits and (when the process may set
//   it) its owner; a new file gets 0666 less the umask.
// - An existing file without write permission is never replaced, not even by
//   root: the user made it read-only to keep it.
// - Something that is not a regular file (a directory, a FIFO, a device) is
//   never opened for writing.
// - When the directory does not let a temporary file be made but the file
//   itself may be written, the file is rewritten in place, as a plain save
//   would do.
//
// True on success. On failure, reason holds the system's text for why
// ("Permission denied", "No space left on device", ...), and an existing file
// is as it was (except after a failed in-place rewrite, which has no other
// choice).
bool ReplaceFileContent(const std::string& path, std::string_view bytes, std::string& reason);

// The system's text for errno, or for an error number given.
std::string SystemErrorText(int error);

// The reason given when a path names something other than a regular file.
std::string NotARegularFileText();

}  // namespace rtd
