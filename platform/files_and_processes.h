// The seam between the utility module and the operating system's files and processes: what a
// path names, listings, removal, fresh names and folders, and programs started and waited for.
// Only util/files_and_processes uses it.
#pragma once

namespace platform {

// What a path names, as far as the routines over files and directories care.
enum class FileType { kNone, kDirectory, kSymbolicLink, kOther };

// What `path` names, following symbolic links: a link to a directory is kDirectory, a dangling
// link kNone. kNone whenever the path's status cannot be read. Never kSymbolicLink.
FileType TypeOf(const char* path);

// The same without following a symbolic link that the path itself names: such a link is
// kSymbolicLink, whatever it points to.
FileType TypeOfEntry(const char* path);

// The names of one directory's entries, one after another, "." and ".." included.
class DirectoryListing {
 public:
  DirectoryListing() = default;
  ~DirectoryListing();
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;

  // Opens the listing of `path`. False for a missing path, for anything that is not a
  // directory, and for a symbolic link, which is never followed.
  bool Open(const char* path);
  // The next entry's name, owned by the listing and valid until the next call; null at the end.
  const char* Next();
  // Ends the listing; also done on destruction.
  void Close();

 private:
  void* handle_ = nullptr;
};

// Removes a file, or a symbolic link itself. True on success.
bool RemoveFile(const char* path);

// Removes an empty directory. True on success.
bool RemoveEmptyDirectory(const char* path);

// Replaces the six X characters at the end of `pattern`, in place, by letters and digits chosen
// so that the pattern names nothing that exists yet. False, the pattern unchanged, when it does
// not end in six X characters or no free name was found.
bool MakeUniqueName(char* pattern);

// Creates the directory `path` (its parent must exist) readable, writable and searchable by its
// owner only. True on success; false also when anything of that name exists already.
bool MakePrivateDirectory(const char* path);

// Opens `file` the way the desktop shell does and waits, without a time limit, for the process
// it started to end. A program is started with `parameters` (may be null); `parameterFields`
// holds the same text already split into arguments with their double quotes, for systems that
// hand arguments over one by one. Any other existing file is opened with the program the
// desktop associates with it, without the parameters. `showCommand` says how a window should
// appear, where windows are the system's. Gives the exit code, 128 + the signal number for a
// process ended by a signal, or -1 when nothing was started or its exit code cannot be read.
int OpenAndWait(const char* file, const char* parameters, char* const* parameterFields,
                int showCommand);

// Starts the program `name` (looked up along the search path when it names no directory) with
// the argument fields of a command, `fields[0]` first up to a null entry, as the user wrote them,
// double quotes included, and waits without a time limit for its end. Where a program receives
// one command line and splits it itself (Windows), the fields are joined by single spaces as they
// stand, so their quotes keep spaces together. Where each argument is a text of its own (POSIX),
// a field's enclosing quotes are dropped first. Gives the exit code, 128 + the signal number
// when a signal ended it, or -1 when it could not be started or waited for. The program gets
// this process's environment and open standard streams, with every signal at its default.
int SpawnAndWait(const char* name, char* const* fields);

}  // namespace platform
