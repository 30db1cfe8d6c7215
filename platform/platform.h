// The seam between the program and its operating system, as the cutter and the front end use
// it: the process, its message boxes, crash guards, files written in one piece, and what the
// machine offers. The utility module's files and processes have their own header
// (platform/files_and_processes.h). Everything that knows POSIX or Windows lives behind these
// declarations: the common half in common.cpp, the rest once per system.
#pragma once

#include <cstdio>

namespace platform {

// Once at start-up, before anything else: process-wide settings the rest relies on.
void InitProcess();

// The raw command line: one text holding the program's path and then its arguments as typed.
// POSIX hands the arguments over one by one, so there the text is rebuilt from argv: arguments
// joined by single blanks, and an argument that is empty or holds a blank, tab, line feed or
// double quote written in double quotes with every inner double quote doubled, so that
// splitting the text gives back exactly the original arguments. The text lives until the process
// ends. Null when storage for it cannot be had.
const char* RawCommandLine(int argc, char** argv);

enum class BoxStyle { kInformation, kWarning };

// A modal message box under `caption`. On a console the information box goes to standard
// output and the warning box to standard error: the caption on a line of its own, then the
// text, then a line feed unless the text ends with one. Returns the id of the button that closed
// the box (1, OK), or 0 when no box could be shown.
int ShowBox(const char* text, const char* caption, BoxStyle style);

// Ends the process with `code`, running the end-of-process handlers.
[[noreturn]] void ExitProcess(int code);

// While one of these lives, a crash of the thread that made it (a fatal signal on POSIX:
// SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT; an unhandled exception or abort on Windows) does not
// end the process silently: the pending temporary files of every ReplacementFile are removed,
// `text` is shown as a warning box under `caption` (on a console: written to standard error as
// ShowBox writes it), and the process ends with exit code 1. Nothing is formatted or allocated
// when it fires, so `text` and `caption` must be ready and outlive the guard. Meant for calls
// into code that may crash on hostile input. Each thread may hold one guard at a time; threads
// may hold theirs at the same time, and a crash reports the guard of the thread that crashed.
class CrashGuard {
 public:
  CrashGuard(const char* text, const char* caption);
  ~CrashGuard();
  CrashGuard(const CrashGuard&) = delete;
  CrashGuard& operator=(const CrashGuard&) = delete;
};

// While one of these lives, the handlers CrashGuard installs stay installed, so that the many
// guards of one command (one per piece) install them once. A crash outside every guard still
// ends the process as it would have without them.
class CrashHandlers {
 public:
  CrashHandlers();
  ~CrashHandlers();
  CrashHandlers(const CrashHandlers&) = delete;
  CrashHandlers& operator=(const CrashHandlers&) = delete;
};

// A file that replaces its target only once everything written to it is safely stored.
// The content goes to a temporary file in the target's directory; Commit() moves it over the
// target only when every write, the flush and the close succeeded. Until then, and after any
// failure, an existing target stays exactly as it was, and the temporary file is removed
// (also when the process is interrupted by a signal). A replaced target keeps its permission
// bits; a new one gets the usual permissions for new files. Whether the target is there is
// decided on Commit(), so one put there after Open() (by an earlier piece of the same name) is
// replaced with the same care, and refused when this process may not write it. The stream has
// a large buffer, so a picture goes to the system in a few writes. Threads may each write files
// of their own.
class ReplacementFile {
 public:
  ReplacementFile() = default;
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Creates the temporary file for `target`. False when it cannot be created, or when `target`
  // exists and may not be written by this process.
  bool Open(const char* target);
  // The stream to write the content to; null before Open() and after Commit() or Discard().
  std::FILE* Stream() const { return stream_; }
  // Flushes, stores and closes the file, then moves it over the target. True when the target
  // now holds the new content; otherwise the temporary file is gone and the target untouched.
  bool Commit();
  // Drops the temporary file; the target stays as it was.
  void Discard();

 private:
  std::FILE* stream_ = nullptr;
  char* buffer_ = nullptr;
  char* tempPath_ = nullptr;
  char* targetPath_ = nullptr;
  unsigned pendingSlot_ = 0;  // where a signal finds tempPath_
};

// The most threads that may write ReplacementFiles at the same time.
constexpr unsigned kMostWritingThreads = 64;
// The temporary files one writer may have pending at once: its own, and, while it is moved over
// a file on Windows, the backup that holds the replaced file's old content.
constexpr unsigned kPendingFilesPerWriter = 2;
// The slots where a signal or a crash finds the pending temporary files. A file that finds no
// slot free is left behind by a signal, so writers keep to kMostWritingThreads.
constexpr unsigned kMostPendingFiles = kMostWritingThreads * kPendingFilesPerWriter;
// The buffer of a ReplacementFile's stream.
constexpr unsigned kReplacementBufferBytes = 1u << 20;

// The size in bytes of the file open as `file`. False when the system cannot tell.
bool SizeOfFile(std::FILE* file, unsigned long long& bytes);

// The processor cores this process may run on (its affinity), at least 1.
unsigned UsableCores();

// The most memory one picture may take: the lower of the machine's physical memory and the
// address space this process may have; the largest value when neither is known.
unsigned long long MemoryForPictures();

}  // namespace platform
