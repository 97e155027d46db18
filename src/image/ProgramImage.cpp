#include "image/ProgramImage.h"

#include <cstring>

namespace velmora {

void ResetProgramImage(ProgramImage& image) {
  // The buffer is allocated once and reused for every file.
  if (image.words.size() != kImageWords) image.words.resize(kImageWords);
  std::memset(image.words.data(), 0xFF, kImageBytes);
  image.sectionCount = 0;
  image.dataByteCount = 0;
  image.imageByteCount = 0;
  image.layoutDspType = kImageDspUnknown;
}

}  // namespace velmora
