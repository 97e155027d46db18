#include "image/AtomicFile.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace velmora {

namespace fs = std::filesystem;

fs::path ResolveLinkTarget(const fs::path& path) {
  // Bounded, as the system bounds it, so that a loop of links ends.
  constexpr int kMaxLinks = 40;
  fs::path p = path;
  for (int k = 0; k < kMaxLinks; ++k) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
    const fs::path target = fs::read_symlink(p, ec);
    if (ec) return p;
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  return p;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         const char* tempSuffix, bool binary) {
  // A link stays a link: the file it names is the one replaced. The temporary
  // lies beside that file, so the rename never crosses file systems.
  const fs::path target = ResolveLinkTarget(path);
  const std::string temp = target.string() + tempSuffix;
  std::error_code ec;
  const fs::file_status before = fs::status(target, ec);
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
      fs::remove(temp, ec);
      return false;
    }
  }
  // The replaced file keeps the permissions it had; a new one gets the
  // defaults the temporary was created with.
  if (fs::is_regular_file(before)) {
    fs::permissions(temp, before.permissions(), fs::perm_options::replace, ec);
    if (ec) {
      if (error) *error = "cannot keep the permissions of " + target.string() + ": " + ec.message();
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    if (error) *error = "cannot replace " + path + ": " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace velmora
