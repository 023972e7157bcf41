// The program settings file: the executable's path with the extension
// ".ini". Sections MainSettings and DirectoryConfig.
#pragma once

#include <string>

#include "core/output_services.h"

namespace rtd {

// Full path of the running executable; empty if it cannot be learnt.
std::string ExecutablePath();
// The executable's path with its extension replaced by ".ini".
std::string SettingsPathFor(const std::string& executable_path);

// The settings file as the flash operations and the file choosers use it.
class SettingsFile {
 public:
  SettingsFile(std::string path, OutputServices& out) : path_(std::move(path)), out_(out) {}

  // Stores the path (file name included) under DirectoryConfig / BIN;
  // nothing for an empty path.
  void RememberImagePath(const std::string& image_path);
  // Drive and directory of the remembered path; empty when none.
  std::string InitialImageDirectory();

  const std::string& path() const { return path_; }
  OutputServices& out() { return out_; }

 private:
  std::string path_;
  OutputServices& out_;
};

}  // namespace rtd
