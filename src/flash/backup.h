// The backup made before every erase: a board's flash often holds the only
// copy of its firmware, with the panel's settings in it. The whole chip is
// read into a file of the backup folder, the file is checked against the
// chip by the programmer's CRC of every 64 KiB, and only then may the erase
// go ahead. Backups are never deleted by the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/chip_database.h"
#include "core/clock.h"

namespace rtd {

// CRC-32 as zip and PNG use it (reflected polynomial 0xEDB88320, initial
// and final XOR 0xFFFFFFFF): the check value of "123456789" is 0xCBF43926.
uint32_t Crc32(const uint8_t* data, std::size_t size);

// "YYYYMMDD-HHMMSS_JEDECID_crc32.bin", e.g.
// "20261207-141203_EF4013_3a5f9c21.bin": sorted by time in a file list, and
// telling at a glance which chip and which content.
std::string BackupFileName(const CalendarTime& when, const JedecBytes& id, uint32_t crc32);

// A regular file of folder whose content is exactly these bytes (compared
// byte for byte, files of another size skipped unread); its path, or empty
// when there is none. Files that cannot be read are passed over; a folder
// that cannot be listed gives empty text and its reason in *reason.
std::string FindKeptCopy(const std::string& folder, const uint8_t* data, uint32_t size,
                         std::string* reason);

}  // namespace rtd
