// A debug log: plain and time-stamped lines appended to a text file.
#include "util/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

namespace {

constexpr size_t kDateRoom = 40;
constexpr size_t kDateTextRoom = 38;  // what strftime may fill; always fits in kDateRoom
constexpr size_t kTimeTextRoom = 9;   // "HH:MM:SS" and the terminator
constexpr size_t kLineRoom = 513;     // 512 bytes of text and the terminator
static_assert(kDateTextRoom <= kDateRoom);

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Formats into `area` of kLineRoom bytes, cutting what does not fit. A value that cannot be
// formatted leaves an empty text rather than whatever vsnprintf left behind.
void FormatBounded(char* area, const char* format, va_list args) {
  if (std::vsnprintf(area, kLineRoom, format, args) < 0) {
    area[0] = '\0';
  }
}

}  // namespace

DebugLog::DebugLog()
    : fileName("debug.txt"),
      lastDate(new (std::nothrow) char[kDateRoom]),
      lineBuffer(new (std::nothrow) char[kLineRoom]),
      messageBuffer(new (std::nothrow) char[kLineRoom]) {
  if (lastDate) {
    lastDate[0] = '\0';
  }
}

DebugLog::~DebugLog() = default;

bool DebugLog::HasBuffers() const {
  return lastDate && lineBuffer && messageBuffer;
}

void DebugLog::SetFileName(const char* name) {
  fileName = name;
}

void DebugLog::WriteLine(const char* format, ...) {
  if (!HasBuffers() || fileName == nullptr) {
    return;
  }
  FileHandle file(std::fopen(fileName, "a+"));
  if (!file) {
    return;
  }
  va_list args;
  va_start(args, format);
  FormatBounded(lineBuffer.get(), format, args);
  va_end(args);
  std::fprintf(file.get(), "%s\n", lineBuffer.get());
}

void DebugLog::WriteStamped(const char* format, ...) {
  if (!HasBuffers()) {
    return;
  }
  // std::localtime rather than a reentrant form: it follows a change of TZ made while running.
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  char date[kDateTextRoom] = "";
  char clock[kTimeTextRoom] = "";
  if (local != nullptr) {
    // strftime leaves the buffer undefined when the text does not fit; keep it empty then.
    if (std::strftime(date, sizeof date, "%a %d %b %Y", local) == 0) {
      date[0] = '\0';
    }
    if (std::strftime(clock, sizeof clock, "%H:%M:%S", local) == 0) {
      clock[0] = '\0';
    }
  }

  va_list args;
  va_start(args, format);
  FormatBounded(messageBuffer.get(), format, args);
  va_end(args);

  // The date is taken as seen before the header is written, so a header that cannot be written
  // is not tried again on every line of that date.
  if (std::strcmp(date, lastDate.get()) != 0) {
    std::memcpy(lastDate.get(), date, std::strlen(date) + 1);
    WriteLine("*\n* %s\n*", lastDate.get());
  }
  WriteLine("%s %s", clock, messageBuffer.get());
}
