// Caps the process's address space, for its lifetime, at what it uses now plus
// `extra` bytes: a reader that takes in a whole huge file then runs out of
// memory instead of succeeding on a roomy machine. Active() is false where no
// cap can be set (no /proc, or a sanitizer that reserves address space).
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace velmora::test {

class AddressSpaceCap {
 public:
  explicit AddressSpaceCap(rlim_t extra) {
#if !defined(__SANITIZE_ADDRESS__)
    long pages = 0;
    std::ifstream statm("/proc/self/statm");
    if (!(statm >> pages) || pages <= 0 || getrlimit(RLIMIT_AS, &before_) != 0) return;
    rlimit cap = before_;
    cap.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + extra;
    if (before_.rlim_max != RLIM_INFINITY && cap.rlim_cur > before_.rlim_max)
      cap.rlim_cur = before_.rlim_max;
    active_ = setrlimit(RLIMIT_AS, &cap) == 0;
#else
    (void)extra;
#endif
  }
  ~AddressSpaceCap() {
    if (active_) setrlimit(RLIMIT_AS, &before_);
  }
  AddressSpaceCap(const AddressSpaceCap&) = delete;
  AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;
  bool Active() const {
    return active_;
  }

 private:
  rlimit before_{};
  bool active_ = false;
};

}  // namespace velmora::test
