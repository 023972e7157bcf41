#include "shell/hex_viewer.h"

#include <filesystem>
#include <system_error>

#include "config/chip_database.h"
#include "config/utf8_path.h"
#include "flash/backup.h"
#include "flash/file_reader.h"
#include "flash/image_file.h"
#include "i18n/lang.h"
#include "shell/differences.h"

namespace rtd::shell {

namespace {

constexpr LangText kViewTitle = LANG_TEXT("Просмотр: %s", "View: %s");
constexpr LangText kFileColumn = LANG_TEXT("Файл", "File");
constexpr LangText kNotOpened =
    LANG_TEXT("Не удаётся открыть файл %s: %s", "Unable to open the file %s: %s");
constexpr LangText kNotRead =
    LANG_TEXT("Не удаётся прочитать файл %s: %s", "Unable to read the file %s: %s");
constexpr LangText kEmpty = LANG_TEXT("Файл %s пуст", "The file %s is empty");
constexpr LangText kTooLarge =
    LANG_TEXT("Файл %s больше 16 МБ, самой большой FLASH: это не дамп и не образ",
              "The file %s is larger than 16 MiB, the largest FLASH: it is no dump or image");
// The length in hex, as the range fields take it.
constexpr LangText kSaved = LANG_TEXT("%s0x%06X...0x%06X (длина 0x%X) сохранено в %s",
                                      "%s0x%06X...0x%06X (length 0x%X) saved to %s");
constexpr LangText kNotSaved =
    LANG_TEXT("Файл %s не записан: %s", "The file %s is not written: %s");

// The file's bytes, whole: what the view shows, and all it holds.
bool LoadForView(UserQuestions& out, const std::string& path, std::vector<uint8_t>& bytes) {
  ReadOnlyFile file(path);
  if (!file.ok()) {
    out.MessageBoxPrintf(MB_ICONERROR, PickLangText(kNotOpened), path.c_str(),
                         file.Reason().c_str());
    return false;
  }
  if (file.size() == 0) {
    out.MessageBoxPrintf(MB_ICONERROR, PickLangText(kEmpty), path.c_str());
    return false;
  }
  if (!WithinReach(file.size())) {
    out.MessageBoxPrintf(MB_ICONERROR, PickLangText(kTooLarge), path.c_str());
    return false;
  }
  bytes.resize(static_cast<std::size_t>(file.size()));
  if (!file.Read(bytes.data(), bytes.size())) {
    out.MessageBoxPrintf(MB_ICONERROR, PickLangText(kNotRead), path.c_str(),
                         file.Reason().c_str());
    return false;
  }
  return true;
}

HexViewTexts MakeTexts(std::string title, bool compares) {
  HexViewTexts t;
  t.title = std::move(title);
  t.address = PickLangText(LANG_TEXT("Адрес:", "Address:"));
  t.go = PickLangText(LANG_TEXT("Перейти", "Go"));
  t.find = PickLangText(LANG_TEXT("Найти:", "Find:"));
  t.hex = PickLangText(LANG_TEXT("Шестнадцатерично", "Hex"));
  t.previous = PickLangText(LANG_TEXT("Назад", "Previous"));
  t.next = PickLangText(LANG_TEXT("Далее", "Next"));
  t.start = PickLangText(LANG_TEXT("Начало:", "Start:"));
  t.length = PickLangText(LANG_TEXT("Длина:", "Length:"));
  t.save = PickLangText(LANG_TEXT("Сохранить диапазон...", "Save range..."));
  if (compares) {
    t.previous_difference = PickLangText(LANG_TEXT("Предыдущее различие", "Previous difference"));
    t.next_difference = PickLangText(LANG_TEXT("Следующее различие", "Next difference"));
    t.copy = PickLangText(LANG_TEXT("Копировать", "Copy"));
  }
  t.close = PickLangText(LANG_TEXT("Закрыть", "Close"));
  return t;
}

}  // namespace

// --- the dialog ---

HexViewDialog::HexViewDialog(std::string title, std::vector<HexSource> sources, SaveRange save)
    : texts_(MakeTexts(std::move(title), sources.size() == 2)),
      view_(std::move(sources)),
      save_(std::move(save)) {}

void HexViewDialog::SetRanges(std::vector<std::string> names,
                              std::vector<ServiceCommands::Range> ranges) {
  range_names_ = std::move(names);
  ranges_ = std::move(ranges);
}

void HexViewDialog::ChooseRange(std::size_t index) {
  if (index < ranges_.size()) view_.Select(ranges_[index].first, ranges_[index].last);
}

void HexViewDialog::Save(const std::string& start, const std::string& length) {
  if (const auto range = view_.RangeFromFields(start, length); range && save_)
    save_(*this, *range);
}

// --- where the content comes from ---

std::string LatestBackup(const std::string& folder) {
  namespace fs = std::filesystem;
  if (folder.empty()) return {};
  std::error_code ec;
  fs::directory_iterator it(PathFromUtf8(folder), ec);
  std::string latest_name;
  fs::path latest;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    // The program's own backups only: regular files under a backup's name.
    std::error_code entry_ec;
    if (!fs::is_regular_file(it->symlink_status(entry_ec)) || entry_ec) continue;
    const std::string name = Utf8FromPath(it->path().filename());
    if (IsBackupFileName(name) && name > latest_name) {
      latest_name = name;
      latest = it->path();
    }
  }
  return latest_name.empty() ? std::string() : Utf8FromPath(latest);
}

void HexViewer::ViewChosenFile() {
  const std::string path = ask_.ChooseImageToOpen();
  if (!path.empty()) ViewFile(path);
}

void HexViewer::ViewFile(const std::string& path) {
  if (path.empty()) return;
  std::vector<uint8_t> bytes;
  if (!LoadForView(ask_, path, bytes)) return;
  HexViewDialog dialog(FormatText(PickLangText(kViewTitle), path),
                       {HexSource{path, bytes.data(), static_cast<uint32_t>(bytes.size())}},
                       [this](HexViewDialog& d, const HexView::Range& r) { SaveRange(d, r); });
  window_.ShowHexView(dialog);
}

void HexViewer::ViewDifferences(const ServiceCommands::Differences& found) {
  const DifferenceListing listing = ListDifferences(found);
  const auto size = [](const std::vector<uint8_t>& v) { return static_cast<uint32_t>(v.size()); };
  HexViewDialog dialog(listing.title,
                       {HexSource{PickLangText(kFileColumn), found.file.data(), size(found.file)},
                        HexSource{"FLASH", found.flash.data(), size(found.flash)}},
                       [this](HexViewDialog& d, const HexView::Range& r) { SaveRange(d, r); });
  dialog.SetRanges(listing.ranges, found.ranges);
  dialog.SetCopyText(listing.Text());
  // Opened on the first difference.
  dialog.ChooseRange(0);
  window_.ShowHexView(dialog);
}

void HexViewer::SaveRange(HexViewDialog& dialog, const HexView::Range& range) {
  HexView& view = dialog.view();
  const HexSource& source = view.sources()[static_cast<std::size_t>(view.CursorSource())];
  const std::string name = ask_.ChooseImageToSave();
  if (name.empty()) return;
  const uint32_t length = range.last - range.first + 1;
  std::string reason;
  if (SaveImageFile(name, source.data + range.first, length, &reason) == 0) {
    const std::string which = view.Compares() ? source.name + " " : std::string();
    const std::string saved =
        FormatText(PickLangText(kSaved), which, range.first, range.last, length, name);
    shown_.LogPrintf("%s", saved);
    view.SetNote(saved);
    return;
  }
  const std::string refused = FormatText(PickLangText(kNotSaved), name, reason);
  shown_.LogPrintf("%s", refused);
  view.SetNote(refused);
  ask_.MessageBoxPrintf(MB_ICONERROR, "%s", refused);
}

}  // namespace rtd::shell
