// The POSIX half of the platform layer: the system's primitives. Its sections, in order:
// - the process: start-up (signals that remove pending files), the command line, boxes;
// - crashes: the signal handlers and the alternate stack that report a crash;
// - files written in one piece: the primitives of common.cpp's replacement files;
// - files and folders of the utility module: types, listings, removal, names, folders;
// - programs started and waited for;
// - the machine: file sizes, cores and memory.
#include "platform/files_and_processes.h"
#include "platform/platform.h"
#include "platform/system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <memory>
#include <new>

namespace platform {
namespace {

mode_t gUmask = 022;

void RemovePendingTempAndDie(int sig) {
  os::RemovePendingFiles();
  signal(sig, SIG_DFL);
  raise(sig);
}

bool NeedsQuotes(const char* arg) {
  if (*arg == '\0') {
    return true;
  }
  return std::strpbrk(arg, " \t\n\"") != nullptr;
}

char* CopyText(const char* text) {
  return os::CopyText(text, std::strlen(text));
}

// Where the data of `target` really lives, and its status in `st` (false when there is none):
// a symbolic link is followed so that the file it points to is replaced, not the link.
char* ResolveTarget(const char* target, struct stat& st, bool& exists) {
  exists = lstat(target, &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    char* real = realpath(target, nullptr);
    if (real != nullptr) {
      char* copy = CopyText(real);
      std::free(real);
      exists = stat(copy != nullptr ? copy : target, &st) == 0;
      return copy;
    }
    exists = stat(target, &st) == 0;  // a dangling link: replaced itself
  }
  return CopyText(target);
}

}  // namespace

// ---- The process ----

void InitProcess() {
  // A write past a file-size limit must fail like any other write, so the save reports it and
  // removes its temporary file, instead of killing the process.
  signal(SIGXFSZ, SIG_IGN);

  gUmask = umask(0);
  umask(gUmask);

  struct sigaction action {};
  action.sa_handler = RemovePendingTempAndDie;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    sigaction(sig, &action, nullptr);
  }
}

const char* RawCommandLine(int argc, char** argv) {
  size_t length = 1;
  for (int i = 0; i < argc; ++i) {
    length += std::strlen(argv[i]) + 1;
    if (NeedsQuotes(argv[i])) {
      length += 2;
      for (const char* c = argv[i]; *c != '\0'; ++c) {
        length += (*c == '"') ? 1 : 0;
      }
    }
  }
  char* line = new (std::nothrow) char[length];
  if (line == nullptr) {
    return nullptr;
  }
  char* out = line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) {
      *out++ = ' ';
    }
    bool quoted = NeedsQuotes(argv[i]);
    if (quoted) {
      *out++ = '"';
    }
    for (const char* c = argv[i]; *c != '\0'; ++c) {
      if (quoted && *c == '"') {
        *out++ = '"';
      }
      *out++ = *c;
    }
    if (quoted) {
      *out++ = '"';
    }
  }
  *out = '\0';
  return line;
}

int ShowBox(const char* text, const char* caption, BoxStyle style) {
  std::FILE* out = (style == BoxStyle::kWarning) ? stderr : stdout;
  size_t n = std::strlen(text);
  bool ok = std::fprintf(out, "%s\n", caption) >= 0;
  ok = ok && std::fwrite(text, 1, n, out) == n;
  if (n == 0 || text[n - 1] != '\n') {
    ok = ok && std::fputc('\n', out) != EOF;
  }
  ok = (std::fflush(out) == 0) && ok;
  return ok ? 1 : 0;
}

// ---- Crashes ----

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
struct sigaction gActionsBeforeGuard[std::size(kCrashSignals)];

void WriteAll(const char* text, size_t length) {
  while (length > 0) {
    ssize_t n = write(STDERR_FILENO, text, length);
    if (n <= 0) {
      return;
    }
    text += n;
    length -= static_cast<size_t>(n);
  }
}

// Runs on its own stack, so that a stack overflow can be reported too; only calls that are safe
// in a signal handler.
void ReportCrashAndExit(int sig) {
  const char* caption = nullptr;
  const char* text = os::TakeCrashReport(caption);
  if (text == nullptr) {
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  size_t length = std::strlen(text);
  WriteAll(caption, std::strlen(caption));
  WriteAll("\n", 1);
  WriteAll(text, length);
  if (length == 0 || text[length - 1] != '\n') {
    WriteAll("\n", 1);
  }
  _exit(1);
}

// A thread's alternate stack, made when it first takes a guard and kept while it lives. Held
// here as well as by the kernel, so that it stays owned (and a leak checker sees it so).
struct CrashStack {
  char* memory = nullptr;
  bool ready = false;
  ~CrashStack() {
    if (ready) {
      stack_t off{};
      off.ss_flags = SS_DISABLE;
      sigaltstack(&off, nullptr);
    }
    delete[] memory;
  }
};
thread_local CrashStack tCrashStack;

void UseCrashStack() {
  if (tCrashStack.ready) {
    return;
  }
  size_t size = std::max<size_t>(SIGSTKSZ, 64 * 1024);
  if (tCrashStack.memory == nullptr) {
    tCrashStack.memory = new (std::nothrow) char[size];
  }
  stack_t stack{};
  stack.ss_sp = tCrashStack.memory;
  stack.ss_size = size;
  // Without it a crash still ends in the message, unless the stack itself overflowed.
  tCrashStack.ready = stack.ss_sp != nullptr && sigaltstack(&stack, nullptr) == 0;
}

}  // namespace

void os::PrepareCrashStack() {
  UseCrashStack();
}

void os::InstallCrashHandlers() {
  struct sigaction action {};
  action.sa_handler = ReportCrashAndExit;
  action.sa_flags = SA_ONSTACK;
  sigfillset(&action.sa_mask);
  for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
    sigaction(kCrashSignals[i], &action, &gActionsBeforeGuard[i]);
  }
}

void os::RestoreCrashHandlers() {
  for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
    sigaction(kCrashSignals[i], &gActionsBeforeGuard[i], nullptr);
  }
}

void os::WaitForever() {
  for (;;) {
    pause();
  }
}

// ---- Files written in one piece ----

size_t os::DirectoryLength(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return (slash == nullptr) ? 0 : static_cast<size_t>(slash - path) + 1;
}

bool os::RemoveFileNow(const char* path) {
  return unlink(path) == 0;
}

bool os::MayReplace(const char* target, bool& replacing) {
  struct stat st;
  replacing = stat(target, &st) == 0;
  // Renaming over a file needs only the directory's permission; a file its owner made read-only
  // must stay as protected as it was when it was written in place.
  return !replacing || access(target, W_OK) == 0;
}

std::FILE* os::CreateReplacement(const char* target, char*& targetPath, char*& tempPath) {
  struct stat existing;
  bool exists = false;
  bool replacing = false;
  targetPath = ResolveTarget(target, existing, exists);
  if (targetPath == nullptr || !MayReplace(targetPath, replacing)) {
    return nullptr;
  }
  tempPath = TemporaryNameBeside(targetPath);
  int fd = tempPath != nullptr ? mkostemp(tempPath, O_CLOEXEC) : -1;
  std::FILE* stream = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (stream == nullptr) {
    if (fd >= 0) {
      close(fd);
      unlink(tempPath);
    }
    delete[] tempPath;
    tempPath = nullptr;
    return nullptr;
  }
  if (exists && S_ISREG(existing.st_mode)) {
    // Keep the replaced file's owner where allowed (only root may give files away) and its
    // permission bits in any case.
    if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      // Not permitted for ordinary users; the file then belongs to whoever runs the cut.
    }
    fchmod(fd, existing.st_mode & 07777);
  } else {
    fchmod(fd, 0666 & ~gUmask);
  }
  return stream;
}

bool os::StoreOnDisk(std::FILE* stream) {
  return fsync(fileno(stream)) == 0;
}

bool os::MoveIntoPlace(const char* temp, const char* target, bool /*replacing*/) {
  return std::rename(temp, target) == 0;
}

// ---- Files and folders of the utility module ----

namespace {

FileType TypeFromMode(mode_t mode) {
  if (S_ISDIR(mode)) {
    return FileType::kDirectory;
  }
  return S_ISLNK(mode) ? FileType::kSymbolicLink : FileType::kOther;
}

bool IsExecutableFile(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, X_OK) == 0;
}

}  // namespace

FileType TypeOf(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 ? TypeFromMode(st.st_mode) : FileType::kNone;
}

FileType TypeOfEntry(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0 ? TypeFromMode(st.st_mode) : FileType::kNone;
}

DirectoryListing::~DirectoryListing() {
  Close();
}

bool DirectoryListing::Open(const char* path) {
  Close();
  // A trailing slash makes the system resolve a link whatever O_NOFOLLOW says, so the path is
  // opened without one: then a link is refused, even one put in the directory's place after it
  // was looked at.
  size_t length = std::strlen(path);
  while (length > 1 && path[length - 1] == '/') {
    --length;
  }
  std::unique_ptr<char[]> bare(new (std::nothrow) char[length + 1]);
  if (!bare) {
    return false;
  }
  std::memcpy(bare.get(), path, length);
  bare[length] = '\0';
  int fd = open(bare.get(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return false;
  }
  handle_ = dir;
  return true;
}

const char* DirectoryListing::Next() {
  if (handle_ == nullptr) {
    return nullptr;
  }
  dirent* entry = readdir(static_cast<DIR*>(handle_));
  return entry ? entry->d_name : nullptr;
}

void DirectoryListing::Close() {
  if (handle_ != nullptr) {
    closedir(static_cast<DIR*>(handle_));
    handle_ = nullptr;
  }
}

bool RemoveFile(const char* path) {
  return unlink(path) == 0;
}

bool RemoveEmptyDirectory(const char* path) {
  return rmdir(path) == 0;
}

bool MakeUniqueName(char* pattern) {
  static const char kSuffix[] = "XXXXXX";
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const size_t suffixLength = sizeof kSuffix - 1;
  size_t length = std::strlen(pattern);
  if (length < suffixLength || std::strcmp(pattern + length - suffixLength, kSuffix) != 0) {
    return false;
  }
  char* suffix = pattern + length - suffixLength;
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[suffixLength];
    if (getentropy(random, sizeof random) != 0) {
      // No entropy source: time and process id still make a collision unlikely, and every
      // name is checked below anyway.
      auto seed = static_cast<unsigned long>(std::time(nullptr)) ^
                  (static_cast<unsigned long>(getpid()) << 8) ^ static_cast<unsigned long>(attempt);
      for (size_t i = 0; i < suffixLength; ++i) {
        random[i] = static_cast<unsigned char>(seed >> (i * 5));
      }
    }
    for (size_t i = 0; i < suffixLength; ++i) {
      suffix[i] = kAlphabet[random[i] % (sizeof kAlphabet - 1)];
    }
    struct stat st;
    if (lstat(pattern, &st) != 0 && errno == ENOENT) {
      return true;
    }
  }
  std::memcpy(suffix, kSuffix, suffixLength);
  return false;
}

bool MakePrivateDirectory(const char* path) {
  return mkdir(path, 0700) == 0;
}

// ---- Programs started and waited for ----

namespace {

// The program that `name` starts, as a new owned text (delete[]): `name` itself when it holds a
// slash, otherwise the first match in the directories of PATH. Only an executable regular file
// counts. Null when there is none (or no storage for the text).
char* FindProgram(const char* name) {
  if (*name == '\0') {
    return nullptr;
  }
  if (std::strchr(name, '/') != nullptr) {
    return IsExecutableFile(name) ? CopyText(name) : nullptr;
  }
  const char* path = std::getenv("PATH");
  if (path == nullptr) {
    path = "/usr/local/bin:/usr/bin:/bin";
  }
  size_t nameLength = std::strlen(name);
  for (const char* start = path;; ++start) {
    const char* end = std::strchr(start, ':');
    size_t dirLength = end ? static_cast<size_t>(end - start) : std::strlen(start);
    // An empty directory in PATH stands for the current one.
    const char* dir = dirLength ? start : ".";
    size_t useLength = dirLength ? dirLength : 1;
    char* candidate = new (std::nothrow) char[useLength + 1 + nameLength + 1];
    if (candidate == nullptr) {
      return nullptr;
    }
    std::memcpy(candidate, dir, useLength);
    candidate[useLength] = '/';
    std::memcpy(candidate + useLength + 1, name, nameLength + 1);
    if (IsExecutableFile(candidate)) {
      return candidate;
    }
    delete[] candidate;
    if (end == nullptr) {
      return nullptr;
    }
    start = end;
  }
}

// Starts `path` with `args` and waits for its end; see SpawnAndWait for the result.
int RunAndWait(const char* path, char* const* args) {
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) {
    return -1;
  }
  // This process ignores or catches some signals for itself; the program starts afresh.
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  int failed = posix_spawn(&pid, path, nullptr, &attributes, args, environ);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) {
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// Arguments reach a program one by one here, so the quotes that only held a part together
// must go: the program is to see `my file.txt`, not `"my file.txt"`.
char* WithoutEnclosingQuotes(char* field) {
  size_t length = std::strlen(field);
  if (length >= 2 && field[0] == '"' && field[length - 1] == '"') {
    field[length - 1] = '\0';
    return field + 1;
  }
  return field;
}

// A copy of the fields up to their null entry, each without its enclosing quotes; the texts are
// written into, the caller's list is not.
std::unique_ptr<char* []> UnquotedFields(char* const* fields) {
  size_t count = 0;
  while (fields[count] != nullptr) {
    ++count;
  }
  std::unique_ptr<char*[]> unquoted(new (std::nothrow) char*[count + 1]);
  if (unquoted) {
    for (size_t i = 0; i < count; ++i) {
      unquoted[i] = WithoutEnclosingQuotes(fields[i]);
    }
    unquoted[count] = nullptr;
  }
  return unquoted;
}

}  // namespace

int OpenAndWait(const char* file, const char* /*parameters*/, char* const* parameterFields,
                int /*showCommand*/) {
  std::unique_ptr<char[]> program(FindProgram(file));
  if (program) {
    std::unique_ptr<char*[]> words = UnquotedFields(parameterFields);
    if (!words) {
      return -1;
    }
    size_t count = 0;
    while (words[count] != nullptr) {
      ++count;
    }
    std::unique_ptr<char*[]> args(new (std::nothrow) char*[count + 2]);
    if (!args) {
      return -1;
    }
    args[0] = const_cast<char*>(file);
    std::memcpy(args.get() + 1, words.get(), (count + 1) * sizeof(char*));
    return RunAndWait(program.get(), args.get());
  }
  if (TypeOf(file) == FileType::kNone) {
    return -1;
  }
  std::unique_ptr<char[]> opener(FindProgram("xdg-open"));
  if (!opener) {
    return -1;
  }
  char* args[] = {const_cast<char*>("xdg-open"), const_cast<char*>(file), nullptr};
  return RunAndWait(opener.get(), args);
}

int SpawnAndWait(const char* name, char* const* fields) {
  std::unique_ptr<char[]> program(FindProgram(name));
  std::unique_ptr<char*[]> args = UnquotedFields(fields);
  if (!program || !args) {
    return -1;
  }
  return RunAndWait(program.get(), args.get());
}

// ---- The machine ----

unsigned UsableCores() {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&cores));
  }
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

bool SizeOfFile(std::FILE* file, unsigned long long& bytes) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0) {
    return false;
  }
  bytes = static_cast<unsigned long long>(st.st_size);
  return true;
}

unsigned long long MemoryForPictures() {
  unsigned long long memory = ULLONG_MAX;
  long pages = sysconf(_SC_PHYS_PAGES);
  long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) {
    memory = static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize);
  }
  rlimit addressSpace;
  if (getrlimit(RLIMIT_AS, &addressSpace) == 0 && addressSpace.rlim_cur != RLIM_INFINITY &&
      addressSpace.rlim_cur < memory) {
    memory = addressSpace.rlim_cur;
  }
  return memory;
}

}  // namespace platform
