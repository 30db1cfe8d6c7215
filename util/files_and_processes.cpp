// Routines that reach outside the process: paths, directories and other programs.
#include "util/files_and_processes.h"

#include <cstring>
#include <memory>
#include <new>

#include "platform/files_and_processes.h"
#include "util/argument_lists.h"
#include "util/strings_and_paths.h"

namespace {

// Parts of a command beyond the program and its first 19 arguments are dropped.
constexpr int kMaxFields = 20;

using OwnedText = std::unique_ptr<char[]>;

// Splits `text` in place into at most kMaxFields parts, as SpawnCommand reads its command, into
// `fields` (kMaxFields + 1 entries, null after the last part). The parts keep their quotes: the
// system decides whether a program needs them. Gives the number of parts.
int SplitArguments(char* text, char** fields) {
  return SplitFieldsKeepQuotes(' ', text, kMaxFields, fields);
}

// "dir" and "name" as "dir/name", however long; null when there is no storage for it.
OwnedText JoinPath(const char* dir, size_t dirLength, const char* name) {
  size_t nameLength = std::strlen(name);
  OwnedText joined(new (std::nothrow) char[dirLength + 1 + nameLength + 1]);
  if (joined) {
    std::memcpy(joined.get(), dir, dirLength);
    joined[dirLength] = '/';
    std::memcpy(joined.get() + dirLength + 1, name, nameLength + 1);
  }
  return joined;
}

}  // namespace

int PathKind(const char* path) {
  switch (platform::TypeOf(path)) {
    case platform::FileType::kNone:
      return -2;
    case platform::FileType::kDirectory:
      return -1;
    default:
      return 0;
  }
}

int RemoveTree(const char* path) {
  platform::DirectoryListing listing;
  if (!listing.Open(path)) {
    return -1;
  }
  size_t pathLength = std::strlen(path);
  while (const char* name = listing.Next()) {
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
      continue;
    }
    // Never cut: a shortened path could name something outside the tree.
    OwnedText joined = JoinPath(path, pathLength, name);
    if (!joined) {
      return -1;
    }
    switch (platform::TypeOfEntry(joined.get())) {
      case platform::FileType::kNone:
        return -1;
      case platform::FileType::kDirectory:
        RemoveTree(joined.get());
        break;
      default:
        // A symbolic link goes as a link: following it would empty whatever it points to.
        platform::RemoveFile(joined.get());
        break;
    }
  }
  listing.Close();
  platform::RemoveEmptyDirectory(path);
  return 0;
}

char* MakeTempDir(char* pattern) {
  // A pattern without six X characters at the end is refused by the name maker, unchanged.
  // Every try starts again from the pattern as the caller gave it, which is what a failure
  // leaves in the caller's buffer too.
  const size_t size = std::strlen(pattern) + 1;
  OwnedText given(StrDup(pattern));
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (platform::MakeUniqueName(pattern) && platform::MakePrivateDirectory(pattern)) {
      return pattern;
    }
    std::memcpy(pattern, given.get(), size);
  }
  return nullptr;
}

int ShellRunWait(const char* file, const char* parameters, int showCommand) {
  OwnedText words(StrDup(parameters ? parameters : ""));
  char* fields[kMaxFields + 1];
  SplitArguments(words.get(), fields);
  return platform::OpenAndWait(file, parameters, fields, showCommand);
}

int SpawnCommand(const char* command) {
  OwnedText copy(StrDup(command));
  char* args[kMaxFields + 1];
  if (SplitArguments(copy.get(), args) == 0) {
    return -1;
  }
  // The program is named without the quotes that may hold its path together.
  OwnedText program(StrDup(args[0]));
  size_t length = std::strlen(program.get());
  if (StrIsQuoted(program.get()) && length >= 2) {
    std::memmove(program.get(), program.get() + 1, length - 2);
    program[length - 2] = '\0';
  }
  if (program[0] == '\0') {
    return -1;
  }
  return platform::SpawnAndWait(program.get(), args);
}
