// The four built-in flash loaders: TMS320C3x programs kept as words in the
// serial-boot stream form (the first word is the first one streamed), with the
// word indices that receive the memory-interface values.
//
// The production tables are generated files under podlink/loaders/ (see
// loaders/README.md). A loader whose table is empty makes every flash
// procedure that needs it refuse with kFlashLoaderMissingText.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

inline constexpr const char* kFlashLoaderMissingText = "flash loader not available";

enum class FlashLoaderId : uint8_t { kC31 = 0, kC32Byte = 1, kC32Page = 2, kC33 = 3 };

struct FlashLoader {
  std::string name;             // for messages: "TMS320C31 flash loader" ...
  std::vector<uint32_t> words;  // serial-boot stream form, closing 0 included
  // C31/C33: one index, the primary bus control word.
  // C32: three indices, IOSTRB, STRB0, STRB1 (0, 1, 2 in the stream form).
  std::vector<size_t> patchIndices;

  bool Available() const { return !words.empty(); }
};

// Layout of a generated table file (loaders/flash_loader_*.cpp). Plain data so
// that a generator can emit it without knowing the classes above.
struct FlashLoaderTable {
  const uint32_t* words;
  size_t wordCount;
  const size_t* patchIndices;
  size_t patchCount;
  const char* source;  // the assembly source the table was generated from
};

extern const FlashLoaderTable kFlashLoaderTableC31;
extern const FlashLoaderTable kFlashLoaderTableC32Byte;
extern const FlashLoaderTable kFlashLoaderTableC32Page;
extern const FlashLoaderTable kFlashLoaderTableC33;

// The set a pod link works with. Tests inject synthetic loaders through
// CPodLink::SetFlashLoaders.
struct FlashLoaderSet {
  std::array<FlashLoader, 4> loaders;

  FlashLoader& Get(FlashLoaderId id) { return loaders[static_cast<size_t>(id)]; }
  const FlashLoader& Get(FlashLoaderId id) const { return loaders[static_cast<size_t>(id)]; }
};

FlashLoader FlashLoaderFromTable(const FlashLoaderTable& table, const std::string& name);
// The generated tables, copied.
FlashLoaderSet ProductionFlashLoaders();
// C31 and C33: one loader each; C32: byte-program for flash types 0 to 2,
// page-write for 3 to 5.
FlashLoaderId ChooseFlashLoader(uint8_t dspType, uint8_t flashType);

}  // namespace velmora
