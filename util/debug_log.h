// A debug log: plain and time-stamped lines appended to a text file, with a date header before
// the first stamped line of each new date.
#pragma once

#include <memory>

#include "util/messages.h"

// Appends lines to a log file, "debug.txt" in the current directory unless told otherwise. The
// file is opened, written and closed for every line, so nothing is lost when the process dies.
// Writing never fails loudly: a line that cannot be written is dropped. When the object could
// not get its buffers on construction, the log is off for good.
class DebugLog {
 public:
  DebugLog();
  ~DebugLog();
  DebugLog(const DebugLog&) = delete;
  DebugLog& operator=(const DebugLog&) = delete;

  // Makes `name` the log file. Only the pointer is kept: the text stays the caller's and must
  // outlive its use here. Null turns the log off until a name is set again.
  void SetFileName(const char* name);

  // Appends the text formatted from `format` and the values, and a line feed. A text longer
  // than 512 bytes is cut to its first 512.
  void WriteLine(const char* format, ...) DOLVANE_PRINTF_FORMAT(2, 3);

  // Appends the local time as "HH:MM:SS", a space and the formatted message, cut like a
  // WriteLine text. When the local date differs from the last one this object saw, a three-line
  // date header comes first; the date counts as seen even when the header could not be written.
  void WriteStamped(const char* format, ...) DOLVANE_PRINTF_FORMAT(2, 3);

 private:
  // False when the buffers could not be had on construction: the log is then off for good.
  bool HasBuffers() const;

  const char* fileName;                   // not owned; null: log off
  std::unique_ptr<char[]> lastDate;       // 40 bytes: the date of the last header
  std::unique_ptr<char[]> lineBuffer;     // 513 bytes: the text WriteLine writes
  std::unique_ptr<char[]> messageBuffer;  // 513 bytes: the message of a stamped line
};
