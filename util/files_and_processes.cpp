#include "util/files_and_processes.h"

#include <cstring>
#include <memory>
#include <new>

#include "platform/platform.h"
#include "util/argument_lists.h"
#include "util/strings_and_paths.h"

namespace {

// Parts of a command beyond the program and its first 19 arguments are dropped.
constexpr int kMaxFields = 20;

using OwnedText = std::unique_ptr<char[]>;

// Arguments reach a program one by one here, so the quotes that only held a part together
// must go: the program is to see `my file.txt`, not `"my file.txt"`.
char* WithoutEnclosingQuotes(char* field) {
  if (StrIsQuoted(field) && field[1] != '\0') {
    field[std::strlen(field) - 1] = '\0';
    return field + 1;
  }
  return field;
}

// Splits `text` in place into at most kMaxFields parts, as SpawnCommand reads its command, into
// `fields` (kMaxFields + 1 entries, null after the last part). Gives the number of parts.
int SplitArguments(char* text, char** fields) {
  int count = SplitFieldsKeepQuotes(' ', text, kMaxFields, fields);
  for (int i = 0; i < count; ++i) {
    fields[i] = WithoutEnclosingQuotes(fields[i]);
  }
  return count;
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
  static const char kSuffix[] = "XXXXXX";
  size_t length = std::strlen(pattern);
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (platform::MakeUniqueName(pattern)) {
      if (platform::MakePrivateDirectory(pattern)) {
        return pattern;
      }
      // The next try starts again from the pattern as the caller gave it.
      std::memcpy(pattern + length - (sizeof kSuffix - 1), kSuffix, sizeof kSuffix - 1);
    }
  }
  return nullptr;
}

int ShellRunWait(const char* file, const char* parameters, int /*showCommand*/) {
  OwnedText program(platform::FindProgram(file));
  if (program) {
    OwnedText words(StrDup(parameters ? parameters : ""));
    char* args[1 + kMaxFields + 1];
    args[0] = const_cast<char*>(file);
    SplitArguments(words.get(), args + 1);
    return platform::RunAndWait(program.get(), args);
  }
  if (platform::TypeOf(file) == platform::FileType::kNone) {
    return -1;
  }
  OwnedText opener(platform::FindProgram("xdg-open"));
  if (!opener) {
    return -1;
  }
  char* args[] = {const_cast<char*>("xdg-open"), const_cast<char*>(file), nullptr};
  return platform::RunAndWait(opener.get(), args);
}

int SpawnCommand(const char* command) {
  OwnedText copy(StrDup(command));
  char* args[kMaxFields + 1];
  if (SplitArguments(copy.get(), args) == 0 || args[0][0] == '\0') {
    return -1;
  }
  OwnedText program(platform::FindProgram(args[0]));
  if (!program) {
    return -1;
  }
  return platform::RunAndWait(program.get(), args);
}
