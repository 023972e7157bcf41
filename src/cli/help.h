// rtdprog-cli --help, in both languages.
#pragma once

#include "i18n/lang.h"

namespace rtd::cli {

extern const LangText kHelp;

}  // namespace rtd::cli
