#include "util/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr int kMessageLimit = 500;
constexpr char kCutMarker[] = " ...";

// Formats into `area` (kMessageLimit + 1 bytes) and marks a text that did not fit.
void FormatMessageText(char* area, const char* format, va_list args) {
  int length = std::vsnprintf(area, kMessageLimit, format, args);
  if (length < 0) {
    area[0] = '\0';  // an encoding error in the values: show what we can, which is nothing
    return;
  }
  if (length >= kMessageLimit) {
    constexpr int kMarkerLength = sizeof kCutMarker - 1;
    std::memcpy(area + kMessageLimit - kMarkerLength, kCutMarker, kMarkerLength);
    area[kMessageLimit] = '\0';
  }
}

}  // namespace

const char* GetAppTitle() {
  return "Morvick Dolvane Ver 1.01";
}

int ShowMessage(const char* text) {
  return platform::ShowBox(text, GetAppTitle(), platform::BoxStyle::kInformation);
}

void FatalMessage(const char* text) {
  platform::ShowBox(text, GetAppTitle(), platform::BoxStyle::kWarning);
  platform::ExitProcess(1);
}

int ShowMessageF(const char* format, ...) {
  char area[kMessageLimit + 1];
  va_list args;
  va_start(args, format);
  FormatMessageText(area, format, args);
  va_end(args);
  return ShowMessage(area);
}

void FatalMessageF(const char* format, ...) {
  char area[kMessageLimit + 1];
  va_list args;
  va_start(args, format);
  FormatMessageText(area, format, args);
  va_end(args);
  FatalMessage(area);
}

FatalOnCrash::FatalOnCrash(const char* format, ...) {
  static_assert(sizeof area_ == kMessageLimit + 1);
  va_list args;
  va_start(args, format);
  FormatMessageText(area_, format, args);
  va_end(args);
}
