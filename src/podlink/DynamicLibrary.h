// A shared library opened at run time, so that a machine without it still
// starts and can say what is missing.
#pragma once

#include <string>
#include <vector>

namespace velmora {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Tries the names in order; on failure error names them all.
  bool Open(const std::vector<std::string>& names, std::string& error);
  bool IsOpen() const { return handle_ != nullptr; }
  const std::string& LoadedName() const { return name_; }
  // Null when the symbol is missing.
  void* Symbol(const char* name) const;

  template <typename Fn>
  bool Resolve(const char* name, Fn& fn) const {
    fn = reinterpret_cast<Fn>(Symbol(name));
    return fn != nullptr;
  }

 private:
  void* handle_ = nullptr;
  std::string name_;
};

}  // namespace velmora
