// The Windows half of the platform layer: the system's primitives. Its sections, in order:
// - helpers: separators, links and where they lead;
// - the process: start-up, the command line, boxes;
// - crashes: the exception filter and abort handler that report a crash;
// - files written in one piece: the primitives of common.cpp's replacement files;
// - files and folders of the utility module: types, listings, removal, names, folders;
// - programs started and waited for;
// - the machine: file sizes, cores and memory.
#include "platform/files_and_processes.h"
#include "platform/platform.h"
#include "platform/system.h"

// windows.h first: the other system headers build on it.
#include <windows.h>

#include <shellapi.h>

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <atomic>
#include <bit>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace platform {

using os::CopyText;

// ---- Helpers ----

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// The length of `path` without trailing separators, which the runtime's status call refuses;
// a root ("/", "C:\") keeps its one.
size_t LengthWithoutTrailingSeparators(const char* path) {
  size_t length = std::strlen(path);
  size_t root = (length >= 2 && path[1] == ':') ? 3 : 1;
  while (length > root && IsSeparator(path[length - 1])) {
    --length;
  }
  return length;
}

// Whether `path` names a symbolic link or a junction itself. Other reparse points (cloud
// placeholders, deduplicated files) are the file or folder they hold. A reparse point whose
// kind the system does not tell (Wine) counts as a link: taken for a folder, it could be
// emptied through.
bool IsLink(const char* path, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return false;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) {
    return true;
  }
  FindClose(search);
  return found.dwReserved0 == 0 || found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
         found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
}

// The path of the file that `target` names, links followed, without the "\\?\" prefix the
// system puts in front; null when it names nothing or cannot be resolved.
char* FinalPath(const char* target) {
  HANDLE file = CreateFileA(target, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  char* path = nullptr;
  DWORD length = GetFinalPathNameByHandleA(file, nullptr, 0, FILE_NAME_NORMALIZED);
  std::unique_ptr<char[]> final(length > 0 ? new (std::nothrow) char[length] : nullptr);
  if (final && GetFinalPathNameByHandleA(file, final.get(), length, FILE_NAME_NORMALIZED) > 0) {
    const char* start = final.get();
    if (std::strncmp(start, "\\\\?\\UNC\\", 8) == 0) {
      start += 6;  // \\?\UNC\server\share: the \\server\share it stands for
      path = CopyText(start, std::strlen(start));
      if (path != nullptr) {
        path[0] = '\\';
      }
    } else {
      start += std::strncmp(start, "\\\\?\\", 4) == 0 ? 4 : 0;
      path = CopyText(start, std::strlen(start));
    }
  }
  CloseHandle(file);
  return path;
}

}  // namespace

// ---- The process ----

void InitProcess() {
  // A drive without a medium must fail the call that touched it, not stop the cut with a
  // system box that a script cannot answer.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

const char* RawCommandLine(int /*argc*/, char** /*argv*/) {
  return GetCommandLineA();
}

int ShowBox(const char* text, const char* caption, BoxStyle style) {
  UINT type = (style == BoxStyle::kWarning) ? MB_ICONWARNING : MB_OK;
  return MessageBoxA(nullptr, text, caption, type);
}

// ---- Crashes ----

namespace {

LPTOP_LEVEL_EXCEPTION_FILTER gFilterBeforeGuard = nullptr;
void (*gAbortBeforeGuard)(int) = SIG_DFL;

[[noreturn]] void ReportCrashAndExit(int exitCode, const char* text, const char* caption) {
  if (text != nullptr) {
    MessageBoxA(nullptr, text, caption, MB_ICONWARNING);
  }
  // Nothing of the damaged process runs any more: no end-of-process handlers.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
  _exit(exitCode);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* /*exception*/) {
  const char* caption = nullptr;
  const char* text = os::TakeCrashReport(caption);
  if (text == nullptr) {
    return EXCEPTION_CONTINUE_SEARCH;  // a thread without a guard: its crash stays a crash
  }
  ReportCrashAndExit(1, text, caption);
}

void OnAbort(int /*sig*/) {
  const char* caption = nullptr;
  const char* text = os::TakeCrashReport(caption);
  ReportCrashAndExit(text == nullptr ? 3 : 1, text, caption);  // 3: what abort ends a process with
}

}  // namespace

void os::PrepareCrashStack() {}

void os::InstallCrashHandlers() {
  gFilterBeforeGuard = SetUnhandledExceptionFilter(OnUnhandledException);
  gAbortBeforeGuard = std::signal(SIGABRT, OnAbort);
}

void os::RestoreCrashHandlers() {
  SetUnhandledExceptionFilter(gFilterBeforeGuard);
  std::signal(SIGABRT, gAbortBeforeGuard);
}

void os::WaitForever() {
  for (;;) {
    Sleep(INFINITE);
  }
}

// ---- Files written in one piece ----

// Where the directory part of `path` ends: after its last separator, or after a drive's colon.
size_t os::DirectoryLength(const char* path) {
  size_t end = 0;
  for (size_t i = 0; path[i] != '\0'; ++i) {
    if (IsSeparator(path[i]) || (i == 1 && path[i] == ':')) {
      end = i + 1;
    }
  }
  return end;
}

bool os::RemoveFileNow(const char* path) {
  return DeleteFileA(path) != 0;
}

namespace {

// Creates, exclusively, a new file beside `target` under a name of TemporaryNameBeside's, given
// in `path` (new[]); INVALID_HANDLE_VALUE with `path` null when it cannot.
HANDLE CreateFileBeside(const char* target, char*& path) {
  path = os::TemporaryNameBeside(target);
  std::unique_ptr<char[]> pattern(path != nullptr ? CopyText(path, std::strlen(path)) : nullptr);
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; pattern && attempt < 10 && file == INVALID_HANDLE_VALUE; ++attempt) {
    std::strcpy(path, pattern.get());
    if (!MakeUniqueName(path)) {
      break;
    }
    // A name taken between the choice and the creation is tried again. Shared for deletion, so
    // that a crash guard can remove the file while it is still open.
    file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  if (file == INVALID_HANDLE_VALUE) {
    delete[] path;
    path = nullptr;
  }
  return file;
}

// Removes the backup that held a replaced file's old content. Something that looks at new files
// (a virus scanner, an indexer) may hold it for a moment without letting it go, so it is tried
// for about a second; one made read-only is freed first. When its holder does allow deletion,
// the system removes it as soon as the last handle closes.
bool RemoveBackup(const char* backup) {
  for (DWORD wait = 1;; wait *= 2) {
    if (DeleteFileA(backup) || GetLastError() == ERROR_FILE_NOT_FOUND) {
      return true;
    }
    if (wait > 512) {
      return false;
    }
    SetFileAttributesA(backup, FILE_ATTRIBUTE_NORMAL);
    Sleep(wait);
  }
}

// Backups whose holder kept them past RemoveBackup. Each keeps its pending slot, so that a
// crash or an interrupt still removes it, and the end of the process tries once more.
struct StrayBackups {
  std::atomic<char*> names[kMostPendingFiles] = {};

  // The names stay: their pending slots point at them until the process is gone.
  ~StrayBackups() {
    for (auto& slot : names) {
      if (char* name = slot.exchange(nullptr)) {
        RemoveBackup(name);
      }
    }
  }
} gStrayBackups;

// Removes a backup that holds nothing of the target's any more: the old content once the new
// file is in place, or nothing at all.
void DropBackup(std::unique_ptr<char[]> backup) {
  const unsigned slot = os::HoldPending(backup.get());
  if (RemoveBackup(backup.get())) {
    os::ReleasePending(slot);
    return;
  }
  char* name = backup.release();
  for (auto& stray : gStrayBackups.names) {
    char* free = nullptr;
    if (stray.compare_exchange_strong(free, name)) {
      return;
    }
  }
}

}  // namespace

std::FILE* os::CreateReplacement(const char* target, char*& targetPath, char*& tempPath) {
  // A link has the file it points to replaced; a dangling one is replaced itself.
  DWORD attributes = GetFileAttributesA(target);
  if (attributes != INVALID_FILE_ATTRIBUTES && IsLink(target, attributes)) {
    targetPath = FinalPath(target);
  }
  if (targetPath == nullptr) {
    targetPath = CopyText(target, std::strlen(target));
  }
  bool replacing = false;
  if (targetPath == nullptr || !MayReplace(targetPath, replacing)) {
    return nullptr;
  }
  HANDLE file = CreateFileBeside(targetPath, tempPath);
  if (file == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  // The runtime's descriptor and stream take the handle over, and close it with the stream.
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
  std::FILE* stream = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
  if (stream == nullptr) {
    if (fd >= 0) {
      _close(fd);
    } else {
      CloseHandle(file);
    }
    DeleteFileA(tempPath);
    delete[] tempPath;
    tempPath = nullptr;
  }
  return stream;
}

bool os::MayReplace(const char* target, bool& replacing) {
  DWORD attributes = GetFileAttributesA(target);
  if (attributes != INVALID_FILE_ATTRIBUTES && IsLink(target, attributes)) {
    std::unique_ptr<char[]> final(FinalPath(target));
    attributes = final ? GetFileAttributesA(final.get()) : INVALID_FILE_ATTRIBUTES;
  }
  replacing = attributes != INVALID_FILE_ATTRIBUTES;
  // Moving over a file would replace one its owner made read-only; writing in place would not.
  return !replacing || (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

bool os::StoreOnDisk(std::FILE* stream) {
  return _commit(_fileno(stream)) == 0;
}

// Moves the finished file `temp`, beside `target`, to `target`. A file that is there is replaced
// the way Windows replaces documents, keeping its attributes, security and alternate streams.
// Without a backup name a failed replacement may leave the old file gone; with one, the old file
// is put back under its name whenever the new one is not in place.
bool os::MoveIntoPlace(const char* temp, const char* target, bool replacing) {
  if (replacing) {
    // The replacement takes the attributes first, for systems whose ReplaceFile does not.
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKept) != 0) {
      SetFileAttributesA(temp, attributes & kKept);
    }
    // The backup name is taken by an empty file of our own, which ReplaceFile moves the old one
    // over, so that no other file can be under it. Not pending until the new file is in place:
    // before that the backup may hold the only copy of the old content.
    char* made = nullptr;
    const HANDLE file = CreateFileBeside(target, made);
    std::unique_ptr<char[]> backup(made);
    if (file == INVALID_HANDLE_VALUE) {
      return false;
    }
    CloseHandle(file);
    if (ReplaceFileA(target, temp, backup.get(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
      DropBackup(std::move(backup));
      return true;  // even when the backup stays: the new file is in place
    }
    const DWORD error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      // The old file is under the backup name only, and stays there when it cannot be put back.
      MoveFileExA(backup.get(), target, MOVEFILE_WRITE_THROUGH);
      return false;
    }
    DropBackup(std::move(backup));
    if (error != ERROR_FILE_NOT_FOUND) {
      return false;
    }
  }
  return MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// ---- Files and folders of the utility module ----

FileType TypeOf(const char* path) {
  std::unique_ptr<char[]> bare(CopyText(path, LengthWithoutTrailingSeparators(path)));
  struct _stat64 st;
  if (!bare || _stat64(bare.get(), &st) != 0) {
    return FileType::kNone;
  }
  return (st.st_mode & _S_IFMT) == _S_IFDIR ? FileType::kDirectory : FileType::kOther;
}

FileType TypeOfEntry(const char* path) {
  std::unique_ptr<char[]> bare(CopyText(path, LengthWithoutTrailingSeparators(path)));
  DWORD attributes = bare ? GetFileAttributesA(bare.get()) : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return FileType::kNone;
  }
  // Symbolic links and junctions alike: removing one must not empty what it points to.
  if (IsLink(bare.get(), attributes)) {
    return FileType::kSymbolicLink;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileType::kDirectory : FileType::kOther;
}

namespace {

struct Listing {
  intptr_t handle = -1;
  bool started = false;
  _finddata_t entry{};
};

}  // namespace

DirectoryListing::~DirectoryListing() {
  Close();
}

bool DirectoryListing::Open(const char* path) {
  Close();
  if (TypeOfEntry(path) != FileType::kDirectory) {
    return false;
  }
  size_t length = LengthWithoutTrailingSeparators(path);
  std::unique_ptr<char[]> pattern(new (std::nothrow) char[length + 3]);
  auto* listing = new (std::nothrow) Listing;
  if (!pattern || listing == nullptr) {
    delete listing;
    return false;
  }
  std::memcpy(pattern.get(), path, length);
  // A root such as "C:\" ends in its separator already.
  size_t end = length;
  if (length == 0 || !IsSeparator(path[length - 1])) {
    pattern[end++] = '/';
  }
  pattern[end++] = '*';
  pattern[end] = '\0';
  listing->handle = _findfirst(pattern.get(), &listing->entry);
  if (listing->handle == -1) {
    delete listing;
    return false;
  }
  handle_ = listing;
  return true;
}

const char* DirectoryListing::Next() {
  auto* listing = static_cast<Listing*>(handle_);
  if (listing == nullptr) {
    return nullptr;
  }
  if (listing->started && _findnext(listing->handle, &listing->entry) != 0) {
    return nullptr;
  }
  listing->started = true;
  return listing->entry.name;
}

void DirectoryListing::Close() {
  auto* listing = static_cast<Listing*>(handle_);
  if (listing != nullptr) {
    _findclose(listing->handle);
    delete listing;
    handle_ = nullptr;
  }
}

bool RemoveFile(const char* path) {
  if (_unlink(path) == 0) {
    return true;
  }
  // A link to a folder is a folder entry of its own; it goes without touching its target.
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         IsLink(path, attributes) && RemoveDirectoryA(path) != 0;
}

bool RemoveEmptyDirectory(const char* path) {
  return _rmdir(path) == 0;
}

bool MakeUniqueName(char* pattern) {
  static const char kSuffix[] = "XXXXXX";
  const size_t suffixLength = sizeof kSuffix - 1;
  size_t length = std::strlen(pattern);
  if (length < suffixLength || std::strcmp(pattern + length - suffixLength, kSuffix) != 0) {
    return false;
  }
  // The runtime may spoil more than the suffix when it fails (it clears the first byte once
  // it has run out of names), so the whole pattern is put back.
  std::unique_ptr<char[]> given(CopyText(pattern, length));
  if (!given) {
    return false;
  }
  if (_mktemp_s(pattern, length + 1) == 0) {
    return true;
  }
  std::memcpy(pattern, given.get(), length + 1);
  return false;
}

bool MakePrivateDirectory(const char* path) {
  return _mkdir(path) == 0;
}

int OpenAndWait(const char* file, const char* parameters, char* const* /*parameterFields*/,
                int showCommand) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  // No error box of the shell's own: a file that cannot be opened is reported by the result
  // alone, and a script must not be left waiting for someone to close a box.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = file;
  info.lpParameters = parameters;
  info.nShow = showCommand;
  ShellExecuteExA(&info);
  // No process when the shell could not open the file or handed it to one already running.
  if (info.hProcess == nullptr) {
    return -1;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  bool ok = GetExitCodeProcess(info.hProcess, &code) != 0;
  CloseHandle(info.hProcess);
  return ok ? static_cast<int>(code) : -1;
}

int SpawnAndWait(const char* name, char* const* fields) {
  // The runtime joins the fields by single spaces into the program's command line, quotes and
  // all, which is how the program splits them back.
  intptr_t result = _spawnvp(_P_WAIT, name, const_cast<const char* const*>(fields));
  return static_cast<int>(result);
}

unsigned UsableCores() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    return static_cast<unsigned>(std::popcount(static_cast<uint64_t>(process)));
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

bool SizeOfFile(std::FILE* file, unsigned long long& bytes) {
  LARGE_INTEGER size;
  auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE || !GetFileSizeEx(handle, &size)) {
    return false;
  }
  bytes = static_cast<unsigned long long>(size.QuadPart);
  return true;
}

unsigned long long MemoryForPictures() {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) {
    return ~0ULL;
  }
  return status.ullTotalPhys < status.ullAvailVirtual ? status.ullTotalPhys
                                                      : status.ullAvailVirtual;
}

}  // namespace platform
