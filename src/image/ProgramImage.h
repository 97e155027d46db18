// The loaded program: a TMS320C3x boot table in a fixed 16 MiB word buffer,
// the list of its sections, and the symbol and watch lists that go with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/DataObject.h"

namespace velmora {

inline constexpr uint32_t kImageWords = 4194304;  // 0x1000000 bytes
inline constexpr uint32_t kImageBytes = kImageWords * 4;
// layoutDspType of an image that does not record its DSP type.
inline constexpr uint8_t kImageDspUnknown = 0xFF;

struct ProgramImage {
  std::vector<uint32_t> words;  // kImageWords once reset; 0xFFFFFFFF beyond the image
  int32_t sectionCount = 0;
  uint32_t dataByteCount = 0;   // sum of placed section sizes x 4
  uint32_t imageByteCount = 0;  // word 0 through the closing 0 word, in bytes
  // DSP type the header and blocks were laid out for (set when the file is
  // read); serial boot and flash refuse an image laid out for another type.
  uint8_t layoutDspType = kImageDspUnknown;

  bool Loaded() const { return dataByteCount != 0; }
  uint32_t ImageWordCount() const { return imageByteCount / 4; }
  bool operator==(const ProgramImage&) const = default;
};

// Allocates the buffer on first use; fills it with 0xFF and zeroes the counters.
void ResetProgramImage(ProgramImage& image);

struct CSectionInfo {
  std::string name;
  uint32_t size = 0;          // words
  uint32_t startAddress = 0;  // physical address
  uint32_t dataIndex = 0;     // word index of the section's first data word in the image

  const uint32_t* Data(const ProgramImage& image) const { return image.words.data() + dataIndex; }
  bool operator==(const CSectionInfo&) const = default;
};

// Everything the application object owns about the loaded program.
struct ProgramData {
  ProgramImage image;
  std::vector<CSectionInfo> sections;
  std::vector<CDataObject> symbols;
  std::vector<CDataObject> variables;  // variable watch list
  std::vector<CDataObject> addresses;  // address watch list
  bool operator==(const ProgramData&) const = default;
};

}  // namespace velmora
