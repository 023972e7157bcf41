// The system's rule for links in shared folders, which the file replacement
// and the folder walk both follow (POSIX only).
#pragma once

#include <sys/types.h>

#include <string>

namespace rtd {

// A link in a sticky, world-writable folder (/tmp) that belongs neither to
// the user nor to the folder's owner: not followed, so another user cannot
// aim a save at a place of their choice.
bool IsForeignLink(const std::string& link, uid_t link_owner);

// The reason given for such a link.
std::string ForeignLinkText();

}  // namespace rtd
