// The half of the platform layer that is the same on every system: the pending temporary
// files, the crash guards' bookkeeping, the skeleton of a replacement file and the end of the
// process. It stands on the primitives of platform/system.h that posix.cpp and win32.cpp give.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/platform.h"
#include "platform/system.h"

namespace platform {
namespace os {

char* CopyText(const char* text, size_t length) {
  char* copy = new (std::nothrow) char[length + 1];
  if (copy != nullptr) {
    std::memcpy(copy, text, length);
    copy[length] = '\0';
  }
  return copy;
}

char* TemporaryNameBeside(const char* target) {
  // In the target's folder, so that the final move cannot cross volumes; a short fixed name
  // keeps it valid whatever the length of the target's own name.
  static const char kTempName[] = ".dolvane-XXXXXX";
  const size_t dirLength = DirectoryLength(target);
  char* name = new (std::nothrow) char[dirLength + sizeof kTempName];
  if (name != nullptr) {
    std::memcpy(name, target, dirLength);
    std::memcpy(name + dirLength, kTempName, sizeof kTempName);
  }
  return name;
}

}  // namespace os

namespace {

// The temporary files being written, so that an interrupting signal or a crash can remove them.
std::atomic<const char*> gPendingFiles[kMostPendingFiles];
static_assert(std::atomic<const char*>::is_always_lock_free);

// The handlers are the process's, the guards each thread's: installed while any thread holds a
// guard or CrashHandlers, and each thread's crash reports its own text.
std::mutex gGuardLock;
unsigned gGuardsHeld = 0;
thread_local const char* tCrashText = nullptr;
thread_local const char* tCrashCaption = nullptr;
std::atomic<bool> gCrashReported{false};

void HoldCrashHandlers() {
  std::lock_guard<std::mutex> lock(gGuardLock);
  if (gGuardsHeld++ == 0) {
    os::InstallCrashHandlers();
  }
}

void ReleaseCrashHandlers() {
  std::lock_guard<std::mutex> lock(gGuardLock);
  if (--gGuardsHeld == 0) {
    os::RestoreCrashHandlers();
  }
}

}  // namespace

unsigned os::HoldPending(const char* path) {
  for (unsigned i = 0; i < kMostPendingFiles; ++i) {
    const char* free = nullptr;
    if (gPendingFiles[i].compare_exchange_strong(free, path)) {
      return i;
    }
  }
  return kMostPendingFiles;
}

void os::ReleasePending(unsigned slot) {
  if (slot < kMostPendingFiles) {
    gPendingFiles[slot].store(nullptr);
  }
}

void os::RemovePendingFiles() {
  for (const auto& slot : gPendingFiles) {
    const char* temp = slot.load();
    if (temp != nullptr) {
      RemoveFileNow(temp);
    }
  }
}

const char* os::TakeCrashReport(const char*& caption) {
  RemovePendingFiles();
  const char* text = tCrashText;
  if (text == nullptr) {
    return nullptr;  // a thread without a guard of its own: its crash stays a crash
  }
  if (gCrashReported.exchange(true)) {
    WaitForever();  // another thread's crash is being reported, and ends the process
  }
  caption = tCrashCaption;
  return text;
}

void ExitProcess(int code) {
  std::exit(code);
}

CrashGuard::CrashGuard(const char* text, const char* caption) {
  os::PrepareCrashStack();
  tCrashCaption = caption;
  tCrashText = text;
  HoldCrashHandlers();
}

CrashGuard::~CrashGuard() {
  tCrashText = nullptr;
  ReleaseCrashHandlers();
}

CrashHandlers::CrashHandlers() {
  HoldCrashHandlers();
}

CrashHandlers::~CrashHandlers() {
  ReleaseCrashHandlers();
}

ReplacementFile::~ReplacementFile() {
  Discard();
}

bool ReplacementFile::Open(const char* target) {
  Discard();
  stream_ = os::CreateReplacement(target, targetPath_, tempPath_);
  if (stream_ == nullptr) {
    Discard();
    return false;
  }
  pendingSlot_ = os::HoldPending(tempPath_);
  // The library hands its encoder's output over a few kilobytes at a time.
  buffer_ = new (std::nothrow) char[kReplacementBufferBytes];
  if (buffer_ != nullptr) {
    std::setvbuf(stream_, buffer_, _IOFBF, kReplacementBufferBytes);
  }
  return true;
}

bool ReplacementFile::Commit() {
  if (stream_ == nullptr) {
    return false;
  }
  bool ok = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
  // Judged now, not at Open(): an earlier piece of the same name may have been put there since.
  // The permission bits stay those chosen at Open(), which that piece got as well.
  bool replacing = false;
  ok = ok && os::MayReplace(targetPath_, replacing);
  // Before an existing file is replaced, its successor must be on disk: otherwise a crash right
  // after the move could leave neither.
  if (ok && replacing) {
    ok = os::StoreOnDisk(stream_);
  }
  ok = (std::fclose(stream_) == 0) && ok;
  stream_ = nullptr;
  if (ok) {
    ok = os::MoveIntoPlace(tempPath_, targetPath_, replacing);
  }
  if (ok) {
    os::ReleasePending(pendingSlot_);
    delete[] tempPath_;
    tempPath_ = nullptr;
  }
  Discard();
  return ok;
}

void ReplacementFile::Discard() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  delete[] buffer_;
  buffer_ = nullptr;
  if (tempPath_ != nullptr) {
    os::RemoveFileNow(tempPath_);
    os::ReleasePending(pendingSlot_);
    delete[] tempPath_;
    tempPath_ = nullptr;
  }
  delete[] targetPath_;
  targetPath_ = nullptr;
}

}  // namespace platform
