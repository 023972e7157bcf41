#include "link/transport.h"

#include "core/output_services.h"
#include "i18n/lang.h"

namespace rtd {

std::string LinkStatusText(LinkStatus status) {
  switch (status) {
    case kLinkOk:
      return PickLangText(LANG_TEXT("Нет ошибок", "No errors"));
    case kLinkNoLibrary:
      return PickLangText(
          LANG_TEXT("Ошибка загрузки драйвера HID.DLL", "Error loading driver HID.DLL"));
    case kLinkNoEntryPoint:
      return PickLangText(LANG_TEXT("Отсутствует функция в драйвере HID.DLL",
                                    "There is no function in the driver HID.DLL"));
    case kLinkCommFailure:
      return PickLangText(LANG_TEXT("Ошибка обмена данными с контроллером",
                                    "Failed to communicate with the controller"));
    case kLinkNotFound:
      return PickLangText(LANG_TEXT("Контроллер отключен", "Controller is disconnected"));
    case kLinkTimeout:
      return PickLangText(
          LANG_TEXT("Вышел таймаут ожидания ответа", "Out of the timeout response"));
    case kLinkParamError:
      return PickLangText(LANG_TEXT("Ошибка в параметрах", "Error in parameters"));
    case kLinkFailedResult:
      return PickLangText(LANG_TEXT("Ошибка результата", "Failed result"));
    default:
      return FormatText(
          PickLangText(LANG_TEXT("Неизвестная ошибка USB: %d", "Unknown error USB: %d")),
          status);
  }
}

std::string HidStringTo8Bit(const std::u16string& text) {
  std::string result;
  result.reserve(text.size());
  for (const char16_t unit : text) {
    if (unit == 0) break;
    result.push_back(unit < 256 ? static_cast<char>(static_cast<uint8_t>(unit)) : '?');
  }
  return result;
}

LinkStatus HidTransport::HidLoad() {
  if (loaded_) return kLinkOk;
  if (!platform_.LoadLibrary()) return kLinkNoLibrary;
  // A library without every entry point stays unusable; the next transfer
  // tries the whole load again.
  if (!platform_.ResolveEntryPoints()) return kLinkNoEntryPoint;
  loaded_ = true;
  return kLinkOk;
}

namespace {

// Reads one string of the device and compares its 8-bit form with expected.
// Returns -1 when the string cannot be read, 1 on a match, 0 otherwise.
int CompareDeviceString(HidPlatform& platform, HidHandle handle, bool manufacturer,
                        const char* expected) {
  std::u16string text;
  const bool read = manufacturer ? platform.GetManufacturerString(handle, text)
                                 : platform.GetProductString(handle, text);
  if (!read) return -1;
  return HidStringTo8Bit(text) == expected ? 1 : 0;
}

}  // namespace

LinkStatus HidTransport::HidFindDevice(uint16_t vendor_id, const char* manufacturer,
                                       uint16_t product_id, const char* product,
                                       HidHandle* handle) {
  LinkStatus result = kLinkNotFound;
  for (const std::string& path : platform_.EnumerateInterfaces()) {
    if (!device_path_.empty() && path != device_path_) continue;
    HidHandle candidate = platform_.Open(path);
    if (candidate == nullptr) continue;  // in use elsewhere or no access: not ours to take

    HidAttributes attributes;
    // A device that will not tell its ids cannot be shown to be the programmer.
    const bool ids_match = platform_.GetAttributes(candidate, attributes) &&
                           attributes.VendorID == vendor_id &&
                           attributes.ProductID == product_id;
    if (!ids_match) {
      platform_.Close(candidate);
      continue;
    }

    result = kLinkNotFound;
    bool match = manufacturer == nullptr || product == nullptr;
    if (!match) {
      int compared = CompareDeviceString(platform_, candidate, true, manufacturer);
      if (compared == 1) compared = CompareDeviceString(platform_, candidate, false, product);
      if (compared < 0) result = kLinkCommFailure;
      match = compared == 1;
    }
    if (match) {
      if (handle != nullptr) {
        *handle = candidate;
      } else {
        platform_.Close(candidate);
      }
      return kLinkOk;
    }
    platform_.Close(candidate);
  }
  return result;
}

LinkStatus HidTransport::LinkOpen() {
  if (handle_ != nullptr) return kLinkOk;
  const LinkStatus loaded = HidLoad();
  if (loaded != kLinkOk) return loaded;
  HidHandle found = nullptr;
  const LinkStatus r = HidFindDevice(kProgrammerVendorId, kProgrammerManufacturer,
                                     kProgrammerProductId, kProgrammerProduct, &found);
  if (r == kLinkOk) handle_ = found;
  return r;
}

void HidTransport::LinkClose() {
  if (handle_ == nullptr) return;
  platform_.Close(handle_);
  handle_ = nullptr;
}

LinkStatus HidTransport::ReportSend(const HidReport& report) {
  const LinkStatus opened = LinkOpen();
  if (opened != kLinkOk) return opened;
  if (!platform_.SetFeature(handle_, report.data(), report.size())) {
    // The device is gone or broken; the next transfer searches again.
    LinkClose();
    return kLinkCommFailure;
  }
  return kLinkOk;
}

LinkStatus HidTransport::ReportReceive(HidReport& report) {
  const LinkStatus opened = LinkOpen();
  if (opened != kLinkOk) return opened;
  if (!platform_.GetFeature(handle_, report.data(), report.size()) || report[0] != kReportId) {
    LinkClose();
    return kLinkCommFailure;
  }
  return kLinkOk;
}

}  // namespace rtd
