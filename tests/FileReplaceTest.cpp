#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "io/FileReplace.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

unsigned modeOf(const std::filesystem::path& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

// What a result may replace, through both writers (job outputs and reports
// through OutputFile, settings, databases and summaries through
// replaceFileContent): a link leads to its file, which is replaced while the
// link stays; a pipe, a folder and a read-only file are refused and left as
// they were (as root, "convert … /dev/null" used to replace the device node).
TEST(FileReplace, links_are_followed_and_what_is_no_writable_regular_file_is_refused) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  std::filesystem::create_directory(dir / "folder");
  writeFile(dir / "read-only.txt", "kept\n");
  ::chmod((dir / "read-only.txt").c_str(), 0444);
  const struct {
    const char* name;
    int problem;
  } refused[] = {{"fifo", str::NotRegularFile}, {"folder", str::NotRegularFile}, {"read-only.txt", str::ReadOnlyFile}};
  for (const auto& r : refused) {
    SCOPED_TRACE(r.name);
    OutputFile output;
    EXPECT_FALSE(output.open(dir / r.name));
    EXPECT_EQ(output.failureMessage(0), r.problem);
    int problem = 0;
    EXPECT_FALSE(replaceFileContent(dir / r.name, "new\n", &problem));
    EXPECT_EQ(problem, r.problem);
  }
  EXPECT_EQ(readFile(dir / "read-only.txt"), "kept\n");
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo"));

  // A link, and a link to a link to a file not yet there.
  writeFile(dir / "real.txt", "old\n");
  ::chmod((dir / "real.txt").c_str(), 0640);
  std::filesystem::create_symlink("real.txt", dir / "link.txt");
  std::filesystem::create_symlink(dir / "link2.txt", dir / "chain.txt");
  std::filesystem::create_symlink("new.txt", dir / "link2.txt");
  OutputFile output;
  ASSERT_TRUE(output.open(dir / "link.txt"));
  output.write("through the link\n");
  ASSERT_TRUE(output.commit());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
  EXPECT_EQ(readFile(dir / "real.txt"), "through the link\n");
  EXPECT_EQ(modeOf(dir / "real.txt"), 0640u) << "the replaced file keeps its permissions";
  ASSERT_TRUE(replaceFileContent(dir / "chain.txt", "settings\n"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "chain.txt"));
  EXPECT_EQ(readFile(dir / "new.txt"), "settings\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 8)
      << "no temporary file left";
}

// A target name of 255 bytes, the most a folder entry takes: the temporary's
// name no longer grows from it (".tmpXXXXXX" after 246 bytes failed).
TEST(FileReplace, names_of_255_bytes_can_be_written) {
  TempDir dir;
  const std::string name(255, 'n');
  OutputFile output;
  ASSERT_TRUE(output.open(dir / name));
  output.write("long\n");
  ASSERT_TRUE(output.commit());
  EXPECT_EQ(readFile(dir / name), "long\n");
  ASSERT_TRUE(replaceFileContent(dir / name, "again\n"));
  EXPECT_EQ(readFile(dir / name), "again\n");
}

// Run as root (as CI is), another user's file keeps its owner; as anyone
// else it is refused, since the new file would be the user's own.
TEST(FileReplace, another_users_file_keeps_its_owner_or_is_refused) {
  TempDir dir;
  writeFile(dir / "theirs.txt", "old\n");
  if (::geteuid() != 0) {
    OutputFile output;
    EXPECT_TRUE(output.open(dir / "theirs.txt")) << "one's own file is replaced";
    GTEST_SKIP() << "changing a file's owner needs root";
  }
  ASSERT_EQ(::chown((dir / "theirs.txt").c_str(), 65534, 65534), 0);
  ASSERT_TRUE(replaceFileContent(dir / "theirs.txt", "new\n"));
  struct stat info {};
  ::stat((dir / "theirs.txt").c_str(), &info);
  EXPECT_EQ(info.st_uid, 65534u);
  EXPECT_EQ(info.st_gid, 65534u);
}

}  // namespace
}  // namespace pelmar

namespace pelmar {
namespace {

// A run killed between its temporary's link and the rename left
// ".pelmar-<pid>-<n>" for good: the next replacement in that folder removes
// those of processes that are gone, and keeps a live process's.
TEST(FileReplace, temporaries_of_dead_runs_are_removed) {
  test::TempDir dir;
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  int status = 0;
  ::waitpid(child, &status, 0);  // gone now
  const std::string dead = ".pelmar-" + std::to_string(child) + "-0";
  const std::string alive = ".pelmar-" + std::to_string(::getppid()) + "-0";
  const std::string other = ".pelmar-notapid";
  for (const std::string& name : {dead, alive, other}) test::writeFile(dir / name, "left over");
  ASSERT_TRUE(replaceFileContent(dir / "out.txt", "new"));
  EXPECT_FALSE(std::filesystem::exists(dir / dead));
  EXPECT_TRUE(std::filesystem::exists(dir / alive));
  EXPECT_TRUE(std::filesystem::exists(dir / other));
}


// Large outputs go out a block at a time from a writer of their own: every
// line arrives in order, and a write the file system refuses (here the
// size limit of the process, as a full disk would) fails the commit and
// leaves the old file, not a cut-off one reported as written.
TEST(FileReplace, large_outputs_arrive_whole_and_a_refused_write_fails_the_commit) {
  test::TempDir dir;
  std::vector<std::string> lines;
  std::string expected;
  for (int i = 0; i < 200000; ++i) {
    lines.push_back("P" + std::to_string(i) + std::string(static_cast<std::size_t>(i % 37), ' ') + "1.0\n");
    expected += lines.back();
  }
  auto writeAll = [&](OutputFile& output) {
    for (const std::string& line : lines) output.write(line);
  };
  {
    OutputFile output;
    ASSERT_TRUE(output.open(dir / "large.txt"));
    writeAll(output);
    ASSERT_TRUE(output.commit());
  }
  ASSERT_GT(expected.size(), 4u << 20) << "more blocks than the writer holds at once";
  EXPECT_TRUE(test::readFile(dir / "large.txt") == expected);
  {
    OutputFile output;  // a cancelled run: dropped, blocks in flight or not
    ASSERT_TRUE(output.open(dir / "dropped.txt"));
    writeAll(output);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1)
      << "neither the dropped file nor a temporary";

  test::writeFile(dir / "kept.txt", "old\n");
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    OutputFile output;
    if (!output.open(dir / "kept.txt")) ::_exit(2);
    writeAll(output);  // the limit falls in the second of several blocks
    ::_exit(output.commit() ? 1 : 0);
  }
  ASSERT_GT(child, 0);
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the commit did not fail: status " << status;
  EXPECT_EQ(test::readFile(dir / "kept.txt"), "old\n");
}

}  // namespace
}  // namespace pelmar
