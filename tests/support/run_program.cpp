#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "util/messages.h"

namespace testing_support {
namespace {

void DrainBoth(int outFd, int errFd, std::string& out, std::string& err) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
        char buffer[4096];
        ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          sinks[i]->append(buffer, static_cast<size_t>(n));
        } else {
          close(fds[i].fd);
          fds[i].fd = -1;
          --open;
        }
      }
    }
  }
}

std::vector<std::string> ArgvText(const std::vector<std::string>& args) {
  std::vector<std::string> text = {DOLVANE_BINARY};
  text.insert(text.end(), args.begin(), args.end());
  return text;
}

// Pointers into `text`, which must outlive them, ended by the null that execv wants.
std::vector<char*> ArgvOf(std::vector<std::string>& text) {
  std::vector<char*> argv;
  for (std::string& a : text) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  return argv;
}

// In the forked child: standard output and error to the given descriptors, input from
// /dev/null, then the program. Never returns.
[[noreturn]] void ExecInChild(const std::vector<char*>& argv, const RunOptions& options, int outFd,
                              int errFd) {
  dup2(outFd, 1);
  dup2(errFd, 2);
  int devNull = open("/dev/null", O_RDONLY);
  dup2(devNull, 0);
  if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) {
    _exit(126);
  }
  if (options.fileSizeLimit >= 0) {
    rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                    static_cast<rlim_t>(options.fileSizeLimit)};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (options.oneCore) {
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) != 0) {
      _exit(126);
    }
    int first = 0;
    while (!CPU_ISSET(first, &cores)) {
      ++first;
    }
    CPU_ZERO(&cores);
    CPU_SET(first, &cores);
    if (sched_setaffinity(0, sizeof cores, &cores) != 0) {
      _exit(126);
    }
  }
  execv(argv[0], argv.data());
  _exit(127);
}

}  // namespace

RunResult RunDolvane(const std::vector<std::string>& args, const RunOptions& options) {
  RunResult result;
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return result;
  }
  std::vector<std::string> argvText = ArgvText(args);
  std::vector<char*> argv = ArgvOf(argvText);

  pid_t pid = fork();
  if (pid == 0) {
    ExecInChild(argv, options, outPipe[1], errPipe[1]);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  DrainBoth(outPipe[0], errPipe[0], result.out, result.err);
  int status = 0;
  rusage usage = {};
  wait4(pid, &status, 0, &usage);
  result.peakResidentKb = usage.ru_maxrss;
  if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

pid_t StartDolvane(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> argvText = ArgvText(args);
  std::vector<char*> argv = ArgvOf(argvText);
  int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (devNull < 0) {
    ADD_FAILURE() << "cannot open /dev/null";
    return -1;
  }
  pid_t pid = fork();
  if (pid == 0) {
    ExecInChild(argv, options, devNull, devNull);
  }
  close(devNull);
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
  }
  return pid;
}

std::string InfoBox(const std::string& text) {
  std::string box = std::string(GetAppTitle()) + "\n" + text;
  return (text.empty() || text.back() != '\n') ? box + "\n" : box;
}

std::string WarningBox(const std::string& text) {
  return InfoBox(text);
}

}  // namespace testing_support
