#include "flash/dump_check.h"

#include <cstring>

#include "i18n/lang.h"

namespace rtd {
namespace {

bool AllBytes(const uint8_t* data, uint32_t size, uint8_t value) {
  for (uint32_t i = 0; i < size; ++i)
    if (data[i] != value) return false;
  return true;
}

}  // namespace

DumpCheck CheckDump(const uint8_t* data, uint32_t size) {
  DumpCheck check;
  if (size == 0) return check;
  // The period of a mirrored chip is its real size, a power-of-two share
  // of the size read; a smaller period implies every larger one, so the
  // search narrows to the first half for as long as halves agree.
  uint32_t period = size;
  while (period % 2 == 0 && std::memcmp(data, data + period / 2, period / 2) == 0) period /= 2;
  // Content of one byte value repeats too, and is told by that value; a
  // look at the first period settles it (it stops at the first other byte).
  if (AllBytes(data, period, data[0])) {
    if (data[0] == 0xFF) {
      check.finding = DumpFinding::kBlank;
      return check;
    }
    if (data[0] == 0x00) {
      check.finding = DumpFinding::kZero;
      return check;
    }
    period = 1;
  }
  if (period < size) {
    check.finding = DumpFinding::kRepeats;
    check.period = period;
  }
  return check;
}

void WarnAboutDump(OperationServices& out, const DumpCheck& check, DumpSource source) {
  const bool flash = source == DumpSource::kFlash;
  const char* text = nullptr;
  switch (check.finding) {
    case DumpFinding::kNone:
      return;
    case DumpFinding::kBlank:
      // The id read after the reads has proved the contact: a blank chip,
      // the daily case of a new one, is only noted.
      if (flash)
        out.LogPrintf(PickLangText(LANG_TEXT("FLASH чистая: все байты 0xFF",
                                             "The FLASH is blank: every byte is 0xFF")));
      return;
    case DumpFinding::kZero:
      text = flash ? PickLangText(LANG_TEXT(
                         "FLASH прочитана как одни 0x00: нет питания или замкнута линия",
                         "The FLASH reads all 0x00: no power or a shorted line"))
                   : PickLangText(LANG_TEXT(
                         "В файле одни 0x00: он прочитан без питания или при замкнутой линии",
                         "The file holds only 0x00: it was read without power or through a "
                         "shorted line"));
      break;
    case DumpFinding::kRepeats:
      text = flash ? PickLangText(LANG_TEXT(
                         "Содержимое FLASH повторяется каждые %u байт: микросхема меньше, чем "
                         "указано в jedec.ini, или оборвана адресная линия",
                         "The FLASH content repeats every %u bytes: the chip is smaller than its "
                         "entry in jedec.ini says, or an address line is open"))
                   : PickLangText(LANG_TEXT(
                         "Содержимое файла повторяется каждые %u байт: он прочитан с микросхемы "
                         "меньшего размера или при оборванной адресной линии",
                         "The file content repeats every %u bytes: it was read from a smaller "
                         "chip or with an address line open"));
      break;
  }
  out.LogPrintf(text, check.period);
  out.MessageBoxPrintf(MB_ICONWARNING | MB_OKONLY, text, check.period);
}

bool ConfirmImage(OperationServices& out, const uint8_t* image, uint32_t length) {
  const DumpCheck check = CheckDump(image, length);
  if (check.finding != DumpFinding::kBlank) {
    WarnAboutDump(out, check, DumpSource::kImage);
    return true;
  }
  return out.MessageBoxPrintf(
             MB_ICONWARNING,
             PickLangText(LANG_TEXT(
                 "В файле одни 0xFF: плата останется без прошивки\nВсё равно записать?",
                 "The file holds only 0xFF: the board will be left without firmware\n"
                 "Write it anyway?"))) == IDYES;
}

}  // namespace rtd
