// Message boxes and fatal errors.
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
    int keep = kMessageLimit - kMarkerLength;
    // A UTF-8 character that the cut would split goes whole. Bytes that are no such character
    // (names in another encoding) are cut where they stand.
    int start = keep;
    while (start > keep - 3 && (static_cast<unsigned char>(area[start]) & 0xC0) == 0x80) {
      --start;
    }
    if (start < keep && static_cast<unsigned char>(area[start]) >= 0xC0) {
      keep = start;
    }
    std::memcpy(area + keep, kCutMarker, kMarkerLength);
    area[keep + kMarkerLength] = '\0';
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
