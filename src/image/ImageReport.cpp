#include "image/ImageReport.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "image/SymbolTable.h"

namespace velmora {
namespace {

std::string Format(const char* fmt, ...) {
  char buf[256];
  va_list args;
  va_start(args, fmt);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(args, fmt);
  std::vsnprintf(big.data(), big.size(), fmt, args);
  va_end(args);
  big.resize(static_cast<size_t>(n));
  return big;
}

std::string Pad(const std::string& s, size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

// Trailing blanks of the last column are dropped so lines compare cleanly.
void EndLine(std::string& out) {
  while (!out.empty() && out.back() == ' ') out.pop_back();
  out += '\n';
}

// Names from files are 8-bit text of no declared encoding; read as Latin-1
// they always make valid UTF-8, and the JSON output stays ASCII.
std::string Latin1(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Dump(const nlohmann::ordered_json& json) {
  return json.dump(2, ' ', true) + "\n";
}

nlohmann::ordered_json Items(const std::vector<CDataObject>& list) {
  nlohmann::ordered_json items = nlohmann::ordered_json::array();
  for (const CDataObject& o : list)
    items.push_back({{"name", Latin1(o.name)},
                     {"array", Latin1(o.arrayText)},
                     {"address", o.address},
                     {"type", o.typeCode},
                     {"view", o.viewType}});
  return items;
}

void ListText(std::string& out, const char* title, const std::vector<CDataObject>& list,
              ViewTextFn viewText) {
  out += Format("%s: %zu\n", title, list.size());
  if (list.empty()) return;
  size_t nameWidth = 4, arrayWidth = 5;
  for (const auto& o : list) {
    nameWidth = std::max(nameWidth, o.name.size());
    arrayWidth = std::max(arrayWidth, o.arrayText.size());
  }
  out +=
      "  " + Pad("Name", nameWidth) + "  " + Pad("Array", arrayWidth) + "  Address   Type    View";
  EndLine(out);
  for (const auto& o : list) {
    out += "  " + Pad(o.name, nameWidth) + "  " + Pad(o.arrayText, arrayWidth) + "  " +
           Pad(Format("0x%06X", o.address), 8) + "  " + Format("0x%04X", o.typeCode) + "  " +
           std::to_string(o.viewType);
    if (viewText) out += Format(" (%s)", viewText(o.viewType));
    EndLine(out);
  }
}

}  // namespace

std::string CoffInfoJson(const CoffFileInfo& info, const ProgramData& data) {
  nlohmann::ordered_json sections = nlohmann::ordered_json::array();
  for (const CSectionInfo& s : data.sections)
    sections.push_back({{"name", Latin1(s.name)}, {"start", s.startAddress}, {"size", s.size}});
  nlohmann::ordered_json symbols = nlohmann::ordered_json::array();
  for (const CDataObject& o : data.symbols)
    symbols.push_back({{"name", Latin1(o.name)},
                       {"address", o.address},
                       {"type", o.typeCode},
                       {"type_text", Latin1(TypeText(o.typeCode))},
                       {"array", Latin1(o.arrayText)}});
  return Dump({{"format", CoffFormatName(info.format)},
               {"image_bytes", data.image.imageByteCount},
               {"data_bytes", data.image.dataByteCount},
               {"sections", std::move(sections)},
               {"symbols", std::move(symbols)}});
}

std::string CoffInfoText(const CoffFileInfo& info, const ProgramData& data) {
  std::string out;
  out += Format("Format:      %s (target id 0x%04X)\n", CoffFormatName(info.format), info.targetId);
  out += Format("Image bytes: %u\n", data.image.imageByteCount);
  out += Format("Data bytes:  %u (%s)\n", data.image.dataByteCount,
                ProgramSizeText(data.image).c_str());

  out += Format("\nSections: %zu\n", data.sections.size());
  if (!data.sections.empty()) {
    size_t nameWidth = 4;
    for (const auto& s : data.sections) nameWidth = std::max(nameWidth, s.name.size());
    out += "  " + Pad("Name", nameWidth) + "  Start     Size";
    EndLine(out);
    for (const auto& s : data.sections) {
      out += "  " + Pad(s.name, nameWidth) + "  " + Pad(Format("0x%06X", s.startAddress), 8) +
             "  " + Format("0x%06X Words", s.size);
      EndLine(out);
    }
  }

  out += Format("\nSymbols: %zu\n", data.symbols.size());
  if (!data.symbols.empty()) {
    size_t nameWidth = 4, typeWidth = 9;
    for (const auto& o : data.symbols) {
      nameWidth = std::max(nameWidth, o.name.size());
      typeWidth = std::max(typeWidth, TypeText(o.typeCode).size());
    }
    out += "  " + Pad("Name", nameWidth) + "  Address   Type    " + Pad("Type text", typeWidth) +
           "  Array";
    EndLine(out);
    for (const auto& o : data.symbols) {
      out += "  " + Pad(o.name, nameWidth) + "  " + Pad(Format("0x%06X", o.address), 8) + "  " +
             Format("0x%04X", o.typeCode) + "  " + Pad(TypeText(o.typeCode), typeWidth) + "  " +
             o.arrayText;
      EndLine(out);
    }
  }
  return out;
}

std::string SymbolListsJson(const std::vector<CDataObject>& variables,
                            const std::vector<CDataObject>& addresses) {
  return Dump({{"variables", Items(variables)}, {"addresses", Items(addresses)}});
}

std::string SymbolListsText(const std::vector<CDataObject>& variables,
                            const std::vector<CDataObject>& addresses, ViewTextFn viewText) {
  std::string out;
  ListText(out, "Variables", variables, viewText);
  out += '\n';
  ListText(out, "Addresses", addresses, viewText);
  return out;
}

std::vector<uint8_t> ImageBytes(const ProgramImage& image) {
  std::vector<uint8_t> out;
  const uint32_t words =
      std::min<uint32_t>(image.ImageWordCount(), static_cast<uint32_t>(image.words.size()));
  out.reserve(size_t{words} * 4);
  for (uint32_t i = 0; i < words; ++i) {
    const uint32_t w = image.words[i];
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(w >> (8 * k)));
  }
  return out;
}

}  // namespace velmora
