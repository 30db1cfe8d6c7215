// Message boxes and fatal errors: the program's only way of talking to its user.
#pragma once

#include "platform/platform.h"

#if defined(__GNUC__)
#define DOLVANE_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define DOLVANE_PRINTF_FORMAT(f, a)
#endif

// The caption of every box. A constant the caller does not own.
const char* GetAppTitle();

// An information box with `text`, shown whole however long it is. Returns the id of the button
// that closed it, or 0 when no box could be shown.
int ShowMessage(const char* text);

// A warning box with `text`, then the end of the process with exit code 1.
[[noreturn]] void FatalMessage(const char* text);

// Formatted forms of the two above. A formatted text of up to 499 characters is shown whole; a
// longer one as its first 496 characters followed by " ...", 500 characters in all; a UTF-8
// character that would be split there is left out whole, so the text may be up to 3 shorter.
int ShowMessageF(const char* format, ...) DOLVANE_PRINTF_FORMAT(1, 2);
[[noreturn]] void FatalMessageF(const char* format, ...) DOLVANE_PRINTF_FORMAT(1, 2);

// While one lives, a crash of the process ends it as FatalMessageF would with this message
// (formatted now, since nothing can be formatted once the crash has happened), with the pending
// temporary file removed. For calls into code that hostile input may crash.
class FatalOnCrash {
 public:
  explicit FatalOnCrash(const char* format, ...) DOLVANE_PRINTF_FORMAT(2, 3);
  FatalOnCrash(const FatalOnCrash&) = delete;
  FatalOnCrash& operator=(const FatalOnCrash&) = delete;

 private:
  char area_[501] = {};
  platform::CrashGuard guard_{area_, GetAppTitle()};
};
