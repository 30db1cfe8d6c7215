// Inside the platform layer only: what the common half (common.cpp) and each system's half
// (posix.cpp, win32.cpp) give each other. Nothing outside platform/ includes this.
#pragma once

#include <cstddef>
#include <cstdio>

namespace platform::os {

// ---- Given by common.cpp ----

// A copy of the first `length` bytes of `text`, terminated; null without storage.
char* CopyText(const char* text, size_t length);

// The name of a new temporary file beside `target` (in its folder, whose part of the path is
// DirectoryLength(target) long): the folder followed by ".dolvane-XXXXXX". Null without storage.
char* TemporaryNameBeside(const char* target);

// Registers `path` as a pending temporary file, which a signal or a crash removes, and gives its
// slot; kMostPendingFiles when every slot is taken. `path` must live until the slot is released.
unsigned HoldPending(const char* path);
// Frees `slot` (kMostPendingFiles: nothing to free).
void ReleasePending(unsigned slot);

// Removes every pending temporary file: those of the ReplacementFiles still being written, and
// any other held by HoldPending. Safe in a signal handler and in a crash.
void RemovePendingFiles();

// For a system's crash handler: removes the pending files, then gives the text of the crashed
// thread's guard and sets `caption` to its caption; null when the thread holds no guard. When
// another thread's crash is being reported already, it waits for the process to end instead.
const char* TakeCrashReport(const char*& caption);

// ---- Given by each system ----

// Where the folder part of `path` ends: after its last separator (or drive), 0 when it has none.
size_t DirectoryLength(const char* path);

// Removes the file `path`, safe in a signal handler and in a crash. True on success.
bool RemoveFileNow(const char* path);

// Makes ready, for the calling thread, what a crash report needs (POSIX: a stack of its own).
void PrepareCrashStack();
// Install the crash handlers, and put back the ones there were before.
void InstallCrashHandlers();
void RestoreCrashHandlers();
// Never returns; the process ends elsewhere.
[[noreturn]] void WaitForever();

// Whether this process may put a file at `target`, a path CreateReplacement resolved: true when
// nothing is there, or a file it may write. `replacing` tells whether a file is there (a link
// that leads nowhere is not one: it is moved over itself).
bool MayReplace(const char* target, bool& replacing);
// Creates, exclusively, the temporary file that will replace `target`: resolves a link to the
// file it names (into `targetPath`, allocated with new[]), refuses a target this process may not
// write (MayReplace), and gives the new file the replaced one's permissions or those for new
// files. Gives a stream to write it, with the file's name in `tempPath` (new[]); or null with
// `tempPath` null and no file left (`targetPath` set or not).
std::FILE* CreateReplacement(const char* target, char*& targetPath, char*& tempPath);
// Stores what was written to the file on disk. True on success.
bool StoreOnDisk(std::FILE* stream);
// Moves the finished `temp` to `target`, over the file there when `replacing`. False, with
// `target` as it was, on failure.
bool MoveIntoPlace(const char* temp, const char* target, bool replacing);

}  // namespace platform::os
