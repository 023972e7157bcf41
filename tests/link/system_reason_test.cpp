// The system's reasons in the program's language, whatever language the
// environment gave the process's locale (the Qt window takes it at start):
// a reason in Russian in an English window, or the other way round, is the
// fault these pin.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>

#include "core/system_error_text.h"
#include "i18n/lang.h"
#include "link/device_lock.h"
#include "link/hidapi_platform.h"
#include "temp_dir.h"

namespace rtd {
namespace {

const std::string kEnglish = "No such file or directory";
const std::string kRussian = "Нет такого файла или каталога";

class SystemReasonLanguage : public ::testing::Test {
 protected:
  // A Russian locale of the tests' own: the machine may have none installed.
  static void SetUpTestSuite() {
    locales_ = std::make_unique<test::TempDir>();
    const std::string make = "localedef -i ru_RU -f UTF-8 '" + locales_->File("ru_RU.UTF-8") +
                             "' >/dev/null 2>&1";
    (void)std::system(make.c_str());
  }
  static void TearDownTestSuite() { locales_.reset(); }
  void SetUp() override {
    ::setenv("LOCPATH", locales_->path().c_str(), 1);
    if (std::setlocale(LC_ALL, "ru_RU.UTF-8") == nullptr || std::strerror(ENOENT) != kRussian)
      GTEST_SKIP() << "no Russian locale with the system's Russian texts";
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
    CurrentLanguage = saved_language_;
  }
  // The process as the environment sets it up, the window in a language.
  void Environment(const char* locale, int32_t window) {
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr);
    CurrentLanguage = window;
  }

  static inline std::unique_ptr<test::TempDir> locales_;
  int32_t saved_language_ = CurrentLanguage;
};

TEST_F(SystemReasonLanguage, EveryReasonSpeaksTheWindowsLanguageNotTheEnvironments) {
  const struct {
    const char* environment;
    int32_t window;
    std::string reason;
  } cases[] = {
      {"ru_RU.UTF-8", kLanguageEnglish, kEnglish},
      {"C", kLanguageRussian, kRussian},
      {"ru_RU.UTF-8", kLanguageRussian, kRussian},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.environment);
    Environment(c.environment, c.window);
    EXPECT_EQ(SystemErrorText(ENOENT), c.reason);
    EXPECT_EQ(SystemErrorText(std::make_error_code(std::errc::no_such_file_or_directory)),
              c.reason);
    EXPECT_EQ(MakeSystemLock()->Take("/nonexistent/hidraw0").reason, c.reason);
    // hidapi's own message, its reason at the end, and its words too.
    HidapiPlatform hid;
    EXPECT_EQ(hid.Open("/nonexistent/hidraw0"), nullptr);
    EXPECT_EQ(hid.LastOpenError(),
              (c.window == kLanguageRussian ? "Не удалось открыть устройство "
                                            : "Failed to open a device with path ") +
                  std::string("'/nonexistent/hidraw0': ") + c.reason);
  }
}

// $LANGUAGE, a list of languages the user set for every program, comes
// before the locale where gettext finds the system's words: the window's
// language still decides.
TEST_F(SystemReasonLanguage, TheUsersListOfLanguagesDoesNotOverruleTheWindow) {
  const char* saved = std::getenv("LANGUAGE");
  const std::string restore = saved != nullptr ? saved : "";
  for (const char* list : {"uk", "de:en", "en_US:en"}) {
    for (const int32_t window : {kLanguageRussian, kLanguageEnglish}) {
      SCOPED_TRACE(std::string(list) + (window == kLanguageRussian ? ", Russian" : ", English"));
      Environment("C", window);
      ::setenv("LANGUAGE", list, 1);
      EXPECT_EQ(SystemErrorText(ENOENT), window == kLanguageRussian ? kRussian : kEnglish);
      EXPECT_STREQ(std::getenv("LANGUAGE"), list);
    }
  }
  if (saved != nullptr)
    ::setenv("LANGUAGE", restore.c_str(), 1);
  else
    ::unsetenv("LANGUAGE");
}

}  // namespace
}  // namespace rtd
