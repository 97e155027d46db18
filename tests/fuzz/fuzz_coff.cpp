// libFuzzer target: the COFF reader on arbitrary bytes. Besides memory safety it
// checks that a successful read leaves a consistent program image.
#include <cstddef>
#include <cstdint>

#include "image/CoffReader.h"
#include "image/CoffSymbols.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ProgramData program;  // the 16 MiB image is reused, as in the application
  MemoryInterfaceValues mi;
  mi.dspType = size ? data[size - 1] % 3 : kTMS320C32;
  CoffFileInfo info;
  CoffSymbolList symbols;
  ReadCoffSymbols(data, size, symbols);  // every name inside the file, or false
  const int result = ReadCoffBuffer(data, size, mi, program, &info);
  if (result < kCoffOk || result > kCoffMemoryException) __builtin_trap();
  if (result != kCoffOk) return 0;
  const ProgramImage& image = program.image;
  if (image.words.size() != kImageWords || image.imageByteCount > kImageBytes) __builtin_trap();
  if (image.sectionCount != static_cast<int32_t>(program.sections.size())) __builtin_trap();
  uint64_t dataBytes = 0;
  for (const CSectionInfo& s : program.sections) {
    if (s.size == 0 || uint64_t{s.dataIndex} + s.size > image.ImageWordCount()) __builtin_trap();
    dataBytes += uint64_t{s.size} * 4;
  }
  if (dataBytes != image.dataByteCount) __builtin_trap();
  if (image.imageByteCount != 0 && image.words[image.ImageWordCount() - 1] != 0) __builtin_trap();
  return 0;
}
