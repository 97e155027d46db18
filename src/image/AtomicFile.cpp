#include "image/AtomicFile.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace velmora {

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         const char* tempSuffix, bool binary) {
  const std::string temp = path + tempSuffix;
  std::error_code ec;
  {
    std::ofstream out(temp, binary ? std::ios::binary | std::ios::trunc : std::ios::trunc);
    if (!out) {
      if (error) *error = "cannot write " + temp;
      return false;
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      if (error) *error = "cannot write " + temp;
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    if (error) *error = "cannot replace " + path + ": " + ec.message();
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace velmora
