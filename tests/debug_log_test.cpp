#include "util/debug_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/environment.h"
#include "support/run_program.h"

namespace {

using testing_support::ListDir;
using testing_support::ReadBytes;
using testing_support::ScopedEnv;
using testing_support::TempDir;

// Works in `dir` for the life of the object, then goes back.
class CwdGuard {
 public:
  explicit CwdGuard(const std::string& dir) {
    char* old = getcwd(nullptr, 0);
    saved_ = old ? old : "";
    free(old);
    EXPECT_EQ(chdir(dir.c_str()), 0);
  }
  ~CwdGuard() { EXPECT_EQ(chdir(saved_.c_str()), 0); }
  CwdGuard(const CwdGuard&) = delete;
  CwdGuard& operator=(const CwdGuard&) = delete;

 private:
  std::string saved_;
};

struct Moment {
  std::string date;  // "Www DD Mmm YYYY"
  std::string time;  // "HH:MM:SS"
};

Moment LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm local = *std::localtime(&now);
  char date[64], time[64];
  std::strftime(date, sizeof date, "%a %d %b %Y", &local);
  std::strftime(time, sizeof time, "%H:%M:%S", &local);
  return {date, time};
}

// The lines of a log file; every line must end in a line feed.
std::vector<std::string> Lines(const std::string& path) {
  std::string bytes = ReadBytes(path);
  EXPECT_TRUE(bytes.empty() || bytes.back() == '\n') << bytes;
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(bytes.substr(start, end - start));
  }
  return lines;
}

// Checks a date header at `lines[at]` and gives its date.
std::string HeaderDate(const std::vector<std::string>& lines, size_t at) {
  if (lines.size() < at + 3) {
    ADD_FAILURE() << "no room for a header at line " << at;
    return "";
  }
  EXPECT_EQ(lines[at], "*");
  EXPECT_EQ(lines[at + 2], "*");
  EXPECT_EQ(lines[at + 1].substr(0, 2), "* ");
  std::string date = lines[at + 1].substr(2);
  EXPECT_TRUE(std::regex_match(date, std::regex("[A-Z][a-z]{2} [0-9]{2} [A-Z][a-z]{2} [0-9]{4}")))
      << date;
  return date;
}

// Checks a stamped line and gives its time.
std::string StampedTime(const std::string& line, const std::string& message) {
  EXPECT_TRUE(std::regex_match(line.substr(0, 8), std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
      << line;
  EXPECT_EQ(line.substr(8), " " + message);
  return line.substr(0, 8);
}

// Whether the moment (date, time) lies between `before` and `after`, midnight included.
bool Between(const Moment& before, const std::string& date, const std::string& time,
             const Moment& after) {
  if (before.date == after.date) {
    return date == before.date && before.time <= time && time <= after.time;
  }
  return (date == before.date && before.time <= time) || (date == after.date && time <= after.time);
}

// ----------------------------------------------------------------------------------------------
// Stamped lines and date headers

TEST(DebugLogStamped, FirstLineComesAfterTodaysDateHeader) {
  // Half an hour off whole hours, so a clock read in UTC shows.
  ScopedEnv zone("TZ", "XXX-05:30");
  TempDir dir;
  std::string path = dir / "log.txt";
  DebugLog log;
  log.SetFileName(path.c_str());
  Moment before = LocalNow();
  log.WriteStamped("started %d", 42);
  Moment after = LocalNow();

  std::vector<std::string> lines = Lines(path);
  ASSERT_EQ(lines.size(), 4u) << ReadBytes(path);
  std::string date = HeaderDate(lines, 0);
  std::string time = StampedTime(lines[3], "started 42");
  EXPECT_TRUE(Between(before, date, time, after)) << date << " " << time;
}

TEST(DebugLogStamped, HeaderOnlyOncePerDateAndObject) {
  TempDir dir;
  std::string path = dir / "log.txt";
  {
    DebugLog log;
    log.SetFileName(path.c_str());
    log.WriteStamped("one");
    log.WriteStamped("two");
    std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 5u) << ReadBytes(path);
    StampedTime(lines[3], "one");
    StampedTime(lines[4], "two");
  }
  DebugLog next;
  next.SetFileName(path.c_str());
  next.WriteStamped("three");
  std::vector<std::string> lines = Lines(path);
  ASSERT_EQ(lines.size(), 9u) << ReadBytes(path);
  EXPECT_EQ(HeaderDate(lines, 5), HeaderDate(lines, 0));
  StampedTime(lines[8], "three");
}

TEST(DebugLogStamped, NewDateGetsANewHeader) {
  // Local dates 26 hours apart always differ.
  const char* zones[] = {"AAA-14", "BBB+12", "AAA-14"};
  ScopedEnv zone("TZ", zones[0]);
  TempDir dir;
  std::string path = dir / "log.txt";
  DebugLog log;
  log.SetFileName(path.c_str());
  std::vector<std::string> dates;
  for (const char* z : zones) {
    zone.Set(z);
    Moment before = LocalNow();
    log.WriteStamped("in %s", z);
    Moment after = LocalNow();
    std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 4 * (dates.size() + 1)) << ReadBytes(path);
    size_t at = lines.size() - 4;
    std::string date = HeaderDate(lines, at);
    std::string time = StampedTime(lines[at + 3], std::string("in ") + z);
    EXPECT_TRUE(Between(before, date, time, after)) << z << ": " << date << " " << time;
    dates.push_back(date);
  }
  EXPECT_NE(dates[0], dates[1]);
}

// ----------------------------------------------------------------------------------------------
// Plain lines

TEST(DebugLogWriteLine, WritesTheFormattedTextAndALineFeed) {
  struct Case {
    void (*write)(DebugLog&);
    const char* expected;
  } cases[] = {
      {[](DebugLog& log) { log.WriteLine("plain"); }, "plain\n"},
      {[](DebugLog& log) { log.WriteLine("%s", ""); }, "\n"},
      {[](DebugLog& log) { log.WriteLine("ends\n"); }, "ends\n\n"},
      {[](DebugLog& log) { log.WriteLine("%d|%s|%c|%.2f|%5x|100%%", -7, "ab", 'z', 1.5, 255u); },
       "-7|ab|z|1.50|   ff|100%\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string path = dir / "log.txt";
    DebugLog log;
    log.SetFileName(path.c_str());
    c.write(log);
    EXPECT_EQ(ReadBytes(path), c.expected);
  }
}

TEST(DebugLogWriteLine, AppendsToWhatTheFileHolds) {
  TempDir dir;
  std::string path = dir / "log.txt";
  std::ofstream(path, std::ios::binary) << "kept\nfrom before\n";
  DebugLog log;
  log.SetFileName(path.c_str());
  log.WriteLine("first");
  log.WriteLine("second");
  EXPECT_EQ(ReadBytes(path), "kept\nfrom before\nfirst\nsecond\n");
}

TEST(DebugLogWriteLine, DefaultFileIsDebugTxtInTheCurrentDirectory) {
  TempDir dir;
  CwdGuard cwd(dir.path());
  DebugLog log;
  log.WriteLine("hello");
  EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"debug.txt"});
  EXPECT_EQ(ReadBytes(dir / "debug.txt"), "hello\n");
}

// ----------------------------------------------------------------------------------------------
// Long texts

TEST(DebugLogLimits, TextsAreCutAt512Bytes) {
  struct Case {
    size_t length;
    size_t written;
  } lineCases[] = {{511, 511}, {512, 512}, {513, 512}, {600, 512}},
    messageCases[] = {{502, 502}, {503, 503}, {504, 503}, {600, 503}};
  for (const Case& c : lineCases) {
    TempDir dir;
    std::string path = dir / "log.txt";
    DebugLog log;
    log.SetFileName(path.c_str());
    log.WriteLine("%s", std::string(c.length, 'a').c_str());
    EXPECT_EQ(ReadBytes(path), std::string(c.written, 'a') + "\n") << c.length;
  }
  for (const Case& c : messageCases) {
    TempDir dir;
    std::string path = dir / "log.txt";
    DebugLog log;
    log.SetFileName(path.c_str());
    log.WriteStamped("%s", std::string(c.length, 'b').c_str());
    std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 4u) << c.length;
    StampedTime(lines[3], std::string(c.written, 'b'));
  }
}

// ----------------------------------------------------------------------------------------------
// A log with nowhere to write

TEST(DebugLogOff, WritesNothingButStillRemembersTheDate) {
  TempDir dir;
  std::string unopenable = dir / "missing/log.txt";
  struct Case {
    const char* what;
    const char* name;
  } cases[] = {{"no name", nullptr}, {"missing directory", unopenable.c_str()}};
  for (const Case& c : cases) {
    DebugLog log;
    log.SetFileName(c.name);
    log.WriteLine("line");
    log.WriteStamped("stamped");
    EXPECT_TRUE(ListDir(dir.path()).empty()) << c.what;

    // The date of the dropped line counts as seen: no header on the same date.
    std::string path = dir / "log.txt";
    log.SetFileName(path.c_str());
    log.WriteStamped("after");
    std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 1u) << c.what << ": " << ReadBytes(path);
    StampedTime(lines[0], "after");
    std::remove(path.c_str());
  }
}

}  // namespace
