// The backups' files: how one is named, and how a copy already kept in the
// folder is found. The step that makes and checks them before every erase
// is flash/backup_step.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/chip_database.h"
#include "core/clock.h"
#include "flash/checksums.h"

namespace rtd {

// "YYYYMMDD-HHMMSS_JEDECID_crc32.bin", e.g.
// "20261207-141203_EF4013_3a5f9c21.bin": sorted by time in a file list, and
// telling at a glance which chip and which content.
std::string BackupFileName(const CalendarTime& when, const JedecBytes& id, uint32_t crc32);
// Whether a file name has that form, also with the "-2", "-3", ... that a
// second backup of the same second and content takes before ".bin".
bool IsBackupFileName(const std::string& name);

// A backup of folder whose content is exactly these bytes: a regular file
// (not a link) named like a backup, compared byte for byte (files of
// another size skipped unread). Its path, or empty when there is none.
// Files that cannot be read are passed over; a folder that cannot be
// listed gives empty text and its reason in *reason.
std::string FindKeptCopy(const std::string& folder, const uint8_t* data, uint32_t size,
                         std::string* reason);

}  // namespace rtd
