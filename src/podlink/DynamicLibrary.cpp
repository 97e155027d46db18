#include "podlink/DynamicLibrary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace velmora {

DynamicLibrary::~DynamicLibrary() {
  if (!handle_) return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

bool DynamicLibrary::Open(const std::vector<std::string>& names, std::string& error) {
  std::string tried;
  for (const std::string& name : names) {
#ifdef _WIN32
    handle_ = reinterpret_cast<void*>(LoadLibraryA(name.c_str()));
#else
    handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (handle_) {
      name_ = name;
      return true;
    }
    if (!tried.empty()) tried += ", ";
    tried += name;
  }
  error = "cannot load " + tried;
  return false;
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

}  // namespace velmora
