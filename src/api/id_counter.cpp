#include "api/id_counter.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

#if defined(_WIN32)
#include "api/id_counter_win32.inc"
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr uint32_t kLastId = 2147483646u;

#if !defined(_WIN32)

// The counter lives in a small POSIX shared-memory object. Every attached
// process holds a shared record lock on it; a process that can take the lock
// exclusively knows nobody else is attached (the kernel drops the locks of
// dead processes), so it starts the count afresh. No stale count survives a
// crash, and nothing needs cleaning up at exit.
class shared_counter {
 public:
  shared_counter() {
    const char* name = std::getenv("ZEKALG_ID_SEGMENT");
    const std::string segment =
        (name != nullptr && name[0] == '/') ? std::string(name)
                                            : "/zekalg-env-list-" + std::to_string(getuid());
    int fd = shm_open(segment.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    struct stat st {};
    if (fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(sizeof(uint32_t)) &&
                                ftruncate(fd, sizeof(uint32_t)) != 0)) {
      close(fd);
      return;
    }
    void* map = mmap(nullptr, sizeof(uint32_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
      close(fd);
      return;
    }
    struct flock lock {};
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    lock.l_type = F_WRLCK;
    const bool alone = fcntl(fd, F_SETLK, &lock) == 0;
    value_ = static_cast<uint32_t*>(map);
    if (alone) std::atomic_ref<uint32_t>(*value_).store(0);
    // Downgrade (or wait for the first process to finish its reset).
    lock.l_type = F_RDLCK;
    while (fcntl(fd, alone ? F_SETLK : F_SETLKW, &lock) != 0) {
      if (errno != EINTR) break;
    }
    fd_ = fd;  // kept open for the life of the process: it holds the lock
  }

  uint32_t* value() { return value_ != nullptr ? value_ : &local_; }

 private:
  int fd_ = -1;
  uint32_t* value_ = nullptr;
  alignas(uint32_t) uint32_t local_ = 0;  // when shared memory is unavailable
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
