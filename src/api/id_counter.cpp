#include "api/id_counter.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include "api/id_counter_win32.inc"
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace {

constexpr uint32_t kLastId = 2147483646u;

#if !defined(_WIN32)

// The counter lives in a small POSIX shared-memory object. Every attached
// process holds a shared record lock on it; a process that can take the lock
// exclusively knows nobody else is attached (the kernel drops the locks of
// dead processes), so on the way in it starts the count afresh and on the way
// out it removes the object. A process that cannot use the object safely
// counts on its own: its ids stay unique within it and nothing fails.
struct shared_block {
  uint32_t next;
  // Set by the last process out once the name is gone, so that whoever
  // opened the object just before reopens by name. (Comparing with a fresh
  // open of the name would not do: closing that descriptor drops our lock.)
  uint32_t retired;
};
constexpr off_t kBlockSize = sizeof(shared_block);

bool set_lock(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  return fcntl(fd, F_SETLK, &lock) == 0;
}

// Exclusive if nobody else holds a lock, else shared; F_WRLCK, F_RDLCK, or -1
// after about 100 ms: an exclusive holder is normally busy for microseconds,
// and one that is stuck or hostile must not hold us up.
int take_lock(int fd) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (set_lock(fd, F_WRLCK)) return F_WRLCK;
    if (set_lock(fd, F_RDLCK)) return F_RDLCK;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

// Record locks are not inherited, so a forked child takes its own, and the
// parent's fork() returns only once it has: otherwise a parent exiting at
// once could look like the last process, remove the object and let the next
// newcomer start again from 0 under the child's feet.
std::atomic<int> attached_fd{-1};
thread_local int fork_pipe[2] = {-1, -1};

void before_fork() {
  if (attached_fd.load() < 0 || pipe2(fork_pipe, O_CLOEXEC) != 0) fork_pipe[0] = fork_pipe[1] = -1;
}

void after_fork_in_parent() {
  if (fork_pipe[0] < 0) return;
  close(fork_pipe[1]);  // the read ends when the child closes its end, or at once if fork failed
  char byte;
  while (read(fork_pipe[0], &byte, 1) < 0 && errno == EINTR) {
  }
  close(fork_pipe[0]);
}

void after_fork_in_child() {
  const int fd = attached_fd.load();
  if (fd >= 0) set_lock(fd, F_RDLCK);  // the parent's lock is still held: cannot conflict
  if (fork_pipe[0] >= 0) {
    close(fork_pipe[0]);
    close(fork_pipe[1]);
  }
}

class shared_counter {
 public:
  shared_counter() {
    choose_name();
    // A few rounds: the last process may remove the name between our open
    // and our lock.
    for (int round = 0; round < 8 && block_ == nullptr; ++round) {
      int fd = open_name(O_CREAT | O_EXCL);
      if (fd >= 0) {
        fchmod(fd, 0600);  // whatever the umask, our other processes may open it
      } else if (errno == EEXIST) {
        fd = open_name(0);
        if (fd < 0 && errno == ENOENT) continue;
      }
      if (fd < 0) return;
      const outcome result = attach(fd);
      if (result == outcome::attached) {
        fd_ = fd;
      } else {
        close(fd);
        if (result == outcome::untrusted) return;
      }
    }
    if (block_ == nullptr) return;
    attached_fd.store(fd_);
    pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
  }

  // At exit. The mapping stays: other threads may draw ids until the end.
  ~shared_counter() {
    if (block_ == nullptr || !set_lock(fd_, F_WRLCK)) return;
    attached_fd.store(-1);
    if (in_directory_) {
      unlink(name_.c_str());
    } else {
      shm_unlink(name_.c_str());
    }
    std::atomic_ref<uint32_t>(block_->retired).store(1);
    close(fd_);  // lets whoever opened the name just before see it retired
  }

  shared_counter(const shared_counter&) = delete;
  shared_counter& operator=(const shared_counter&) = delete;

  uint32_t* value() { return block_ != nullptr ? &block_->next : &local_; }

 private:
  enum class outcome { attached, retired, untrusted };

  // ZEKALG_ID_SEGMENT names a shared-memory object of its own (tests, and
  // hosts that want their processes apart). Otherwise the counter is a file
  // in the user's runtime directory ($XDG_RUNTIME_DIR, which only the user
  // can write to, so no one else can create the name first), or, where
  // there is none, the shared-memory object "/zekalg-env-list-UID".
  void choose_name() {
    const char* name = std::getenv("ZEKALG_ID_SEGMENT");
    if (name != nullptr && name[0] == '/') {
      name_ = name;
      return;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime != nullptr && runtime[0] == '/' && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == geteuid() && (st.st_mode & 077) == 0) {
      name_ = std::string(runtime) + "/zekalg-env-list";
      in_directory_ = true;
      return;
    }
    name_ = "/zekalg-env-list-" + std::to_string(geteuid());
  }

  int open_name(int flags) {
    flags |= O_RDWR | O_CLOEXEC;
    return in_directory_ ? open(name_.c_str(), flags | O_NOFOLLOW, 0600)
                         : shm_open(name_.c_str(), flags, 0600);
  }

  // Anyone may create the name first, so the object must be ours alone:
  // owned by our user, no access for anyone else, and of our size. Whoever
  // holds it alone may size it: the creator, a newcomer that raced it, the
  // next one if the creator died, or the first one after an older build
  // whose object held the count alone.
  outcome attach(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_uid != geteuid() || !S_ISREG(st.st_mode) ||
        (st.st_mode & 077) != 0) {
      return outcome::untrusted;
    }
    const int lock = take_lock(fd);
    const bool alone = lock == F_WRLCK;
    if (lock < 0 || fstat(fd, &st) != 0) return outcome::untrusted;
    if (st.st_size != kBlockSize &&
        !(alone && st.st_size < kBlockSize && ftruncate(fd, kBlockSize) == 0)) {
      return outcome::untrusted;
    }
    void* map = mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) return outcome::untrusted;
    auto* block = static_cast<shared_block*>(map);
    if (std::atomic_ref<uint32_t>(block->retired).load() != 0) {
      munmap(map, kBlockSize);
      return outcome::retired;
    }
    if (alone) {
      std::atomic_ref<uint32_t>(block->next).store(0);
      set_lock(fd, F_RDLCK);  // a downgrade cannot fail
    }
    block_ = block;
    return outcome::attached;
  }

  std::string name_;
  bool in_directory_ = false;
  int fd_ = -1;  // kept open for the life of the process: it holds the lock
  shared_block* block_ = nullptr;
  alignas(uint32_t) uint32_t local_ = 0;  // when the shared object is not used
};

#endif

shared_counter& counter() {
  static shared_counter c;
  return c;
}

}  // namespace

int32_t next_environment_id() {
  std::atomic_ref<uint32_t> value(*counter().value());
  uint32_t old = value.load();
  uint32_t next;
  do {
    next = old + 1;
    if (next > kLastId) next = 1;
  } while (!value.compare_exchange_weak(old, next));
  return static_cast<int32_t>(next);
}

void set_environment_id_counter(uint32_t v) {
  std::atomic_ref<uint32_t>(*counter().value()).store(v);
}
