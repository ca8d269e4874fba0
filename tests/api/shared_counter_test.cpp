// Two real processes draw environment ids from one counter.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "api/id_counter.h"

namespace {

std::vector<int> read_ids(FILE* pipe) {
  std::vector<int> ids;
  int id = 0;
  while (std::fscanf(pipe, "%d", &id) == 1) ids.push_back(id);
  return ids;
}

FILE* start_child(int count) {
  const std::string command = std::string(ZEKALG_ID_COUNTER_CHILD) + " " + std::to_string(count);
  return popen(command.c_str(), "r");
}

TEST(SharedCounter, StartsAfreshWhenNoProcessIsAttached) {
  const std::string segment = "/zekalg-test-fresh-" + std::to_string(getpid());
  setenv("ZEKALG_ID_SEGMENT", segment.c_str(), 1);
  for (int round = 0; round < 2; ++round) {
    FILE* child = start_child(3);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(read_ids(child), (std::vector<int>{1, 2, 3}));
    pclose(child);
  }
  shm_unlink(segment.c_str());
}

TEST(SharedCounter, ConcurrentProcessesNeverShareAnId) {
  const std::string segment = "/zekalg-test-shared-" + std::to_string(getpid());
  setenv("ZEKALG_ID_SEGMENT", segment.c_str(), 1);
  // This process stays attached, so the children continue its count.
  const int mine = next_environment_id();
  constexpr int kEach = 300;
  FILE* a = start_child(kEach);
  FILE* b = start_child(kEach);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  const std::vector<int> ids_a = read_ids(a);
  const std::vector<int> ids_b = read_ids(b);
  pclose(a);
  pclose(b);
  ASSERT_EQ(ids_a.size(), static_cast<size_t>(kEach));
  ASSERT_EQ(ids_b.size(), static_cast<size_t>(kEach));
  std::set<int> all(ids_a.begin(), ids_a.end());
  all.insert(ids_b.begin(), ids_b.end());
  all.insert(mine);
  EXPECT_EQ(all.size(), static_cast<size_t>(2 * kEach + 1));
  EXPECT_EQ(*all.begin(), mine);
  EXPECT_EQ(*all.rbegin(), mine + 2 * kEach);
  EXPECT_EQ(next_environment_id(), mine + 2 * kEach + 1);
  shm_unlink(segment.c_str());
}

// A segment name of this test process, removed when the test ends however
// it ends.
struct segment_name {
  explicit segment_name(const std::string& what)
      : name("/zekalg-test-" + what + "-" + std::to_string(getpid())) {
    shm_unlink(name.c_str());
  }
  ~segment_name() { shm_unlink(name.c_str()); }
  const std::string name;
};

// A helper process on `segment`, with a pipe to its input and one from its
// output.
struct child_process {
  pid_t pid = -1;
  int input = -1;
  int output = -1;
};

child_process spawn(const std::string& segment, std::vector<std::string> args) {
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return {};
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return {};
  }
  args.insert(args.begin(), ZEKALG_ID_COUNTER_CHILD);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  if (segment.empty()) {
    unsetenv("ZEKALG_ID_SEGMENT");
  } else {
    setenv("ZEKALG_ID_SEGMENT", segment.c_str(), 1);
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  return {pid, in[1], out[0]};
}

// Closes the child's input and reads the ids it prints until its output
// closes; nullopt (and the child killed) if that takes longer than `limit`.
std::optional<std::vector<int>> collect(const child_process& child,
                                        std::chrono::milliseconds limit) {
  close(child.input);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::string text;
  bool in_time = true;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{child.output, POLLIN, 0};
    const int n = left.count() > 0 ? poll(&ready, 1, static_cast<int>(left.count())) : 0;
    if (n == 0) {
      in_time = false;
      break;
    }
    if (n < 0) continue;
    char buffer[256];
    const ssize_t got = read(child.output, buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  close(child.output);
  if (child.pid > 0) {
    if (!in_time) kill(child.pid, SIGKILL);
    waitpid(child.pid, nullptr, 0);
  }
  if (!in_time) return std::nullopt;
  std::vector<int> ids;
  std::istringstream in(text);
  for (int id = 0; in >> id;) ids.push_back(id);
  return ids;
}

constexpr std::chrono::milliseconds kPatience{10000};

TEST(SharedCounter, ForkedChildStaysAttachedAfterItsParentExits) {
  const segment_name segment("fork");
  child_process forked = spawn(segment.name, {"fork", "3"});
  ASSERT_GT(forked.pid, 0);
  ASSERT_EQ(waitpid(forked.pid, nullptr, 0), forked.pid);
  forked.pid = -1;  // its child, still drawing, is not ours to wait for
  // Were the child not counted as attached, this newcomer would start afresh.
  const auto newcomer = collect(spawn(segment.name, {"3"}), kPatience);
  const auto from_fork = collect(forked, kPatience);
  ASSERT_TRUE(newcomer && from_fork);
  ASSERT_EQ(newcomer->size(), 3u);
  ASSERT_EQ(from_fork->size(), 5u);
  std::set<int> all(newcomer->begin(), newcomer->end());
  all.insert(from_fork->begin(), from_fork->end());
  EXPECT_EQ(all, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  // The last process out removed the segment.
  const int left_over = shm_open(segment.name.c_str(), O_RDONLY, 0);
  EXPECT_LT(left_over, 0);
  if (left_over >= 0) close(left_over);
}

// With no segment named, the counter is a file in the user's runtime
// directory, where no other user can create its name first; the last
// process out removes it.
TEST(SharedCounter, RuntimeDirectoryHoldsTheCounter) {
  char dir[] = "/tmp/zekalg-runtime-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);  // mode 0700
  setenv("XDG_RUNTIME_DIR", dir, 1);
  const std::string file = std::string(dir) + "/zekalg-env-list";
  child_process forked = spawn("", {"fork", "3"});
  ASSERT_GT(forked.pid, 0);
  ASSERT_EQ(waitpid(forked.pid, nullptr, 0), forked.pid);
  forked.pid = -1;
  struct stat st {};
  EXPECT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const auto newcomer = collect(spawn("", {"3"}), kPatience);
  const auto from_fork = collect(forked, kPatience);
  unsetenv("XDG_RUNTIME_DIR");
  ASSERT_TRUE(newcomer && from_fork);
  std::set<int> all(newcomer->begin(), newcomer->end());
  all.insert(from_fork->begin(), from_fork->end());
  EXPECT_EQ(all, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_NE(stat(file.c_str(), &st), 0) << "left behind";
  unlink(file.c_str());
  rmdir(dir);
}

struct segment_state {
  struct stat st;
  std::string bytes;
};

segment_state state_of(int fd) {
  segment_state s{};
  fstat(fd, &s.st);
  s.bytes.resize(static_cast<size_t>(s.st.st_size));
  if (!s.bytes.empty() && pread(fd, s.bytes.data(), s.bytes.size(), 0) < 0) s.bytes.clear();
  return s;
}

TEST(SharedCounter, UntrustedSegmentIsNeitherUsedNorChanged) {
  // Empty segments are ones a process may size and use, so only the check
  // under test stands between them and the helper.
  const struct {
    const char* what;
    mode_t mode;
    off_t size;
    bool other_owner;
  } cases[] = {
      {"writable by all", 0666, 0, false},
      {"readable by the group", 0640, 0, false},
      {"larger than ours", 0600, 4096, false},
      {"another user's", 0600, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const segment_name segment("untrusted");
    const int fd = shm_open(segment.name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fchmod(fd, c.mode), 0);
    ASSERT_EQ(ftruncate(fd, c.size), 0);
    const uint32_t count = 12345;
    if (c.size > 0) {
      ASSERT_EQ(pwrite(fd, &count, sizeof count, 0), static_cast<ssize_t>(sizeof count));
    }
    if (c.other_owner && fchown(fd, geteuid() + 1, static_cast<gid_t>(-1)) != 0) {
      close(fd);
      continue;  // only root can hand a segment to another user
    }
    const segment_state before = state_of(fd);
    const auto ids = collect(spawn(segment.name, {"3"}), kPatience);
    ASSERT_TRUE(ids);
    EXPECT_EQ(*ids, (std::vector<int>{1, 2, 3}));
    const int named = shm_open(segment.name.c_str(), O_RDONLY, 0);
    EXPECT_GE(named, 0) << "removed";
    if (named >= 0) {
      const segment_state after = state_of(named);
      EXPECT_EQ(after.st.st_ino, before.st.st_ino);
      EXPECT_EQ(after.st.st_mode, before.st.st_mode);
      EXPECT_EQ(after.st.st_uid, before.st.st_uid);
      EXPECT_TRUE(after.bytes == before.bytes) << "content changed";
      close(named);
    }
    close(fd);
  }
}

TEST(SharedCounter, WriteLockHeldElsewhereDoesNotHoldUpANewProcess) {
  const segment_name segment("locked");
  const int fd = shm_open(segment.name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;  // the whole object
  ASSERT_EQ(fcntl(fd, F_SETLK, &lock), 0);
  const auto ids = collect(spawn(segment.name, {"3"}), kPatience);
  close(fd);
  ASSERT_TRUE(ids) << "blocked on the lock";
  EXPECT_EQ(*ids, (std::vector<int>{1, 2, 3}));
}

}  // namespace
