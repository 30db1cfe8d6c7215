// Routines that reach outside the process: what a path names, removing a directory tree,
// creating a fresh private directory, and running another program until it ends.
//
// Paths are used as the caller passes them; a relative path counts from the current directory.
// No routine shows a message: each reports through its result alone.
#pragma once

// What `path` names, following symbolic links: -2 when its status cannot be read (it names
// nothing, or a link that leads nowhere), -1 for a directory, 0 for anything else (a file, a
// device).
int PathKind(const char* path);

// Removes the directory `path` with everything below it, deepest levels first. A symbolic link
// met in the tree is removed as a link and never followed, so nothing outside the tree is
// touched; `path` itself being a link gives -1 and removes nothing. Gives -1 when `path` cannot
// be listed (it is missing or no directory), and when an entry vanishes under the walk or
// storage for its path runs out: the walk then stops where it is. Gives 0 when every entry was
// visited: an entry that resists removal is not reported, and it leaves its directory and every one
// above it in place.
int RemoveTree(const char* path);

// Creates a new directory that only its owner may use, named after `pattern`, a writable text
// ending in six X characters that become letters and digits. Gives `pattern` itself, now
// holding the name that was created, or null after five failed tries (for example when the
// parent directory does not exist) or when the pattern does not end in six X characters; the
// pattern then holds what the caller gave.
char* MakeTempDir(char* pattern);

// Runs `file` and waits, without a time limit, for the process it started to end, as the
// desktop shell opens it. On Windows the shell itself opens it with its default action, with
// `parameters` (may be null) and the window state `showCommand`. Elsewhere an executable program
// (a path holding a slash, or a name found along PATH) is started directly with `parameters`
// split into at most 20 words the way SpawnCommand splits its arguments, any other existing file
// is opened with `xdg-open` (whose exit code is the result; `parameters` are not passed to it),
// and `showCommand` is ignored. Gives the exit code, 128 + the signal number for a process ended
// by a signal, or -1 when nothing was started or its exit code cannot be read. Ends the process
// with "out of memory" when the parameters cannot be copied.
int ShellRunWait(const char* file, const char* parameters, int showCommand);

// Runs the command text `command` and waits, without a time limit, for its end. The text is a
// program followed by arguments, separated by spaces; a part in double quotes may hold spaces
// ("\"/opt/my tools/conv\" \"in file.txt\" -q"). At most 20 parts count, the program included;
// the rest is dropped. The program is named by the first part without its enclosing quotes and
// is looked up along the search path when it names no directory. Where programs receive one
// command line (Windows), the parts reach it joined by single spaces with their quotes, so it
// splits them as they were written; where each argument is a text of its own, each part loses
// its enclosing quotes. Gives the program's exit code, 128 + the signal number when a signal
// ended it, or -1 when the text names no program (empty, only spaces, or an empty quoted name)
// or it cannot be started. Ends the process with "out of memory" when the text cannot be copied.
int SpawnCommand(const char* command);
