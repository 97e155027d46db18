// Reads a TI COFF file for the TMS320C3x into the program image (a C3x boot
// table), the section list and the symbol table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/AppSettings.h"
#include "image/CoffFormat.h"
#include "image/ProgramImage.h"

namespace velmora {

// Result codes of ReadCoffFile; the caller turns them into CoffResultMessage.
enum CoffResult : int {
  kCoffOk = 0,
  kCoffCannotRead = 1,         // cannot be opened or read
  kCoffNotCoff = 2,            // not a COFF file, or a damaged one
  kCoffUnsupportedTarget = 3,  // COFF1/COFF2 for another processor
  kCoffNoSymbols = 4,          // symbol entry count zero or negative
  kCoffFileException = 5,      // string-table offset is not a valid file position
  kCoffMemoryException = 6,    // allocation failed
};

// What the file header said, for reports such as `velmora-cli info`.
struct CoffFileInfo {
  CoffFormat format = CoffFormat::COFF2;
  uint16_t targetId = 0;
  uint16_t sectionHeaderCount = 0;
  int32_t symbolEntryCount = 0;
  bool optionalHeader = false;
  bool stringTable = false;  // false when the file ends where the string table would start
  uint64_t fileBytes = 0;
};

// Replaces data.image, data.sections and data.symbols; the watch lists are not
// touched. Everything is checked before anything is replaced, so on any non-zero
// result the previous program, sections and symbols are exactly as they were.
// `mi` gives the DSP type (header length, strobe words) and the register values.
int ReadCoffFile(const std::string& path, const MemoryInterfaceValues& mi, ProgramData& data,
                 CoffFileInfo* info = nullptr);
// The same from bytes already in memory.
int ReadCoffBuffer(const uint8_t* bytes, size_t size, const MemoryInterfaceValues& mi,
                   ProgramData& data, CoffFileInfo* info = nullptr);

// The user-facing text of a result code ("" for 0 and unknown codes).
const char* CoffResultMessage(int code);

// Strobe word of a TMS320C32 block starting at `physicalAddress`.
uint32_t StrobeWord(uint32_t physicalAddress, const MemoryInterfaceValues& mi);
// Number of header words before the first block: 4 on the TMS320C32, else 2.
uint32_t ImageHeaderWords(uint8_t dspType);
// "0x%06X Words" of the image's data word count (the program-size status text).
std::string ProgramSizeText(const ProgramImage& image);

}  // namespace velmora
