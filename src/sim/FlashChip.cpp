#include "sim/FlashChip.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "image/AtomicFile.h"

namespace velmora::sim {
namespace {

constexpr uint64_t kUs = 1000;
constexpr uint64_t kMs = 1000 * kUs;
constexpr uint64_t kS = 1000 * kMs;

// Typical data-sheet figures: byte program and erase times of the JEDEC parts,
// write cycle (tWC) of the page-write parts. The JEDEC commands are decoded on
// 5555h/2AAAh (A14-A0); the B revisions of the AMD parts compare A10-A0 only.
constexpr FlashChipInfo kChips[kFlashTypeCount] = {
    {0, "AM29F010", 0x20000, 0x01, 0x20, false, 0, 0x4000, true, 14 * kUs, 2 * kS, 1 * kS},
    {1, "AM29F040", 0x80000, 0x01, 0xA4, false, 0, 0x10000, true, 7 * kUs, 8 * kS, 1 * kS},
    {2, "HY29F040A", 0x80000, 0xAD, 0xA4, false, 0, 0x10000, false, 7 * kUs, 8 * kS, 1 * kS},
    {3, "AT29C010A", 0x20000, 0x1F, 0xD5, true, 128, 0, false, 10 * kMs, 0, 0},
    {4, "AT29C020", 0x40000, 0x1F, 0xDA, true, 256, 0, false, 10 * kMs, 0, 0},
    {5, "AT29C040A", 0x80000, 0x1F, 0xA4, true, 256, 0, false, 10 * kMs, 0, 0},
};

// JEDEC command cycle addresses.
constexpr uint32_t kCommandAddress1 = 0x5555;
constexpr uint32_t kCommandAddress2 = 0x2AAA;

constexpr const char* kMagic = "VELMORA-SIM-FLASH 1";

}  // namespace

const FlashChipInfo* FindFlashInfo(uint8_t flashType) {
  return flashType < kFlashTypeCount ? &kChips[flashType] : nullptr;
}

bool IsFlashSpeedGrade(uint32_t ns) {
  for (uint32_t g : kFlashSpeedGrades)
    if (g == ns) return true;
  return false;
}

const FlashChipInfo* FindFlashInfo(const std::string& name) {
  for (const auto& c : kChips)
    if (name == c.name) return &c;
  return nullptr;
}

FlashChip::FlashChip(uint8_t flashType)
    : info_(FindFlashInfo(flashType) ? FindFlashInfo(flashType) : &kChips[0]),
      data_(info_->capacity, 0xFF) {
  if (info_->pageWrite) {
    pageData_.assign(info_->pageSize, 0xFF);
    pageLoaded_.assign(info_->pageSize, false);
  }
}

void FlashChip::Configure(const FlashOptions& options) {
  options_ = options;
  if (!IsFlashSpeedGrade(options_.speedNs)) options_.speedNs = kSlowestFlashSpeedNs;
}

uint32_t FlashChip::WritePulseNs() const {
  // tWP: the Atmel parts want 100 ns whatever their grade; the AMD-style parts
  // 45 ns up to the 90-ns grade and 50 ns beyond.
  if (info_->pageWrite) return 100;
  return options_.speedNs <= 90 ? 45 : 50;
}

void FlashChip::Fill(uint8_t value) {
  std::fill(data_.begin(), data_.end(), value);
  Touch();
}

void FlashChip::WriteContents(uint32_t offset, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) data_[(offset + i) % data_.size()] = bytes[i];
  Touch();
}

void FlashChip::CorruptByte(uint32_t offset, uint8_t value) {
  data_[offset % data_.size()] = value;
  Touch();
}

bool FlashChip::IsUnlock(uint32_t offset, uint32_t address) const {
  // The Atmel parts always compare A14-A0.
  const uint32_t mask = info_->pageWrite ? 0x7FFF : CommandAddressMask();
  return (offset & mask) == (address & mask);
}

void FlashChip::StartErase(uint64_t startNs, uint64_t durationNs) {
  busy_ = Op::Erase;
  pollByte_ = 0x00;
  busyEndNs_ = startNs + durationNs;
  failAtNs_ = 0;
  if (eraseFailures_) {
    failAtNs_ = startNs + kEraseTimeoutNs;
    if (eraseFailures_ != UINT32_MAX) --eraseFailures_;
  }
}

bool FlashChip::Busy() const {
  return busy_ != Op::None || pageLoading_;
}

uint64_t FlashChip::NextEventNs() const {
  uint64_t next = UINT64_MAX;
  if (cmd_ == Cmd::SectorEraseWindow) next = std::min(next, sectorWindowEndNs_);
  if (busy_ != Op::None && !failed_) {
    next = std::min(next, failAtNs_ ? failAtNs_ : busyEndNs_);
  }
  if (pageLoading_) next = std::min(next, lastLoadNs_ + kByteLoadWindowNs);
  return next;
}

void FlashChip::Update(uint64_t nowNs) {
  if (cmd_ == Cmd::SectorEraseWindow && nowNs >= sectorWindowEndNs_) {
    cmd_ = Cmd::Read;
    StartErase(sectorWindowEndNs_, info_->sectorEraseNs * eraseSectors_.size());
  }
  if (pageLoading_ && nowNs >= lastLoadNs_ + kByteLoadWindowNs) {
    pageLoading_ = false;
    busy_ = Op::WriteCycle;
    busyEndNs_ = lastLoadNs_ + kByteLoadWindowNs +
                 (programNsOverride_ ? programNsOverride_ : info_->programNs);
    failAtNs_ = 0;
  }
  if (busy_ == Op::None || failed_) return;
  if (failAtNs_) {
    if (nowNs >= failAtNs_) failed_ = true;
    return;
  }
  if (nowNs < busyEndNs_) return;
  switch (busy_) {
    case Op::Program:
      data_[programOffset_] &= programValue_;
      break;
    case Op::Erase:
      for (uint32_t base : eraseSectors_) {
        const uint32_t size = base == UINT32_MAX ? Capacity() : info_->sectorSize;
        const uint32_t start = base == UINT32_MAX ? 0 : base;
        std::fill(data_.begin() + start, data_.begin() + start + size, 0xFF);
      }
      eraseSectors_.clear();
      break;
    case Op::WriteCycle:
      // Bytes of the page that were not loaded come out erased.
      for (uint32_t i = 0; i < info_->pageSize; ++i)
        data_[pageBase_ + i] = pageLoaded_[i] ? pageData_[i] : 0xFF;
      std::fill(pageLoaded_.begin(), pageLoaded_.end(), false);
      if (enableSdpOnWrite_) sdpEnabled_ = true;
      enableSdpOnWrite_ = false;
      break;
    case Op::None:
      break;
  }
  busy_ = Op::None;
  Touch();
}

uint8_t FlashChip::StatusByte() {
  toggle_ = !toggle_;
  uint8_t s = toggle_ ? 0x40 : 0x00;
  if (busy_ == Op::Erase) {
    s |= 0x08;               // DQ3: the erase has begun
    if (toggle_) s |= 0x04;  // DQ2 toggles in an erasing sector
  } else {
    s |= static_cast<uint8_t>(~pollByte_ & 0x80);  // DQ7: complement of the data
  }
  if (failed_) s |= 0x20;  // DQ5: exceeded the time limit
  return s;
}

uint8_t FlashChip::BusRead(uint32_t offset, uint64_t nowNs) {
  Update(nowNs);
  offset %= Capacity();
  if (busy_ != Op::None) return StatusByte();
  if (info_->pageWrite) {
    if (idMode_) return offset == 0 ? info_->manufacturerId : offset == 1 ? info_->deviceId : 0;
    return data_[offset];
  }
  if (autoselect_) {
    switch (offset & 0xFF) {
      case 0:
        return info_->manufacturerId;
      case 1:
        return info_->deviceId;
      default:
        return 0;  // sector protection: none
    }
  }
  return data_[offset];
}

void FlashChip::BusWrite(uint32_t offset, uint8_t value, uint64_t nowNs) {
  Update(nowNs);
  offset %= Capacity();
  if (info_->pageWrite)
    PageWrite(offset, value, nowNs);
  else
    JedecWrite(offset, value, nowNs);
}

void FlashChip::JedecWrite(uint32_t offset, uint8_t value, uint64_t nowNs) {
  if (busy_ != Op::None) {
    // A failed operation keeps the part in its status mode until the reset
    // command; while an operation runs every write is ignored.
    if (failed_ && value == 0xF0) {
      busy_ = Op::None;
      failed_ = false;
      failAtNs_ = 0;
      cmd_ = Cmd::Read;
      eraseSectors_.clear();
    }
    return;
  }
  if (cmd_ == Cmd::ProgramSetup) {  // the fourth cycle: the data, whatever its value
    cmd_ = Cmd::Read;
    busy_ = Op::Program;
    programOffset_ = offset;
    programValue_ = value;
    pollByte_ = value;
    busyEndNs_ = nowNs + (programNsOverride_ ? programNsOverride_ : info_->programNs);
    // A program cannot turn a 0 back into a 1: the algorithm gives up with
    // DQ5 set and the cell keeps its 0.
    failAtNs_ = (value & ~data_[offset]) ? nowNs + kProgramTimeoutNs : 0;
    if (failAtNs_) {
      data_[offset] &= value;
      Touch();
    }
    return;
  }
  if (cmd_ == Cmd::SectorEraseWindow) {
    // More sectors may follow within the window; any other command abandons
    // the erase and returns to reading.
    if (value == 0x30) {
      const uint32_t base = offset - offset % info_->sectorSize;
      if (std::find(eraseSectors_.begin(), eraseSectors_.end(), base) == eraseSectors_.end())
        eraseSectors_.push_back(base);
      sectorWindowEndNs_ = nowNs + kSectorEraseWindowNs;
    } else {
      eraseSectors_.clear();
      cmd_ = Cmd::Read;
    }
    return;
  }
  if (value == 0xF0) {  // reset, from any point of a command sequence
    cmd_ = Cmd::Read;
    autoselect_ = false;
    return;
  }
  if (autoselect_) return;  // only the reset command leaves the autoselect mode
  switch (cmd_) {
    case Cmd::Read:
      if (value == 0xAA && IsUnlock(offset, kCommandAddress1)) cmd_ = Cmd::Unlock1;
      return;
    case Cmd::Unlock1:
      cmd_ = (value == 0x55 && IsUnlock(offset, kCommandAddress2)) ? Cmd::Unlock2 : Cmd::Read;
      return;
    case Cmd::Unlock2:
      cmd_ = Cmd::Read;
      if (!IsUnlock(offset, kCommandAddress1)) return;
      if (value == 0xA0)
        cmd_ = Cmd::ProgramSetup;
      else if (value == 0x80)
        cmd_ = Cmd::EraseSetup;
      else if (value == 0x90)
        autoselect_ = true;
      return;
    case Cmd::EraseSetup:
      cmd_ = (value == 0xAA && IsUnlock(offset, kCommandAddress1)) ? Cmd::EraseUnlock1 : Cmd::Read;
      return;
    case Cmd::EraseUnlock1:
      cmd_ = (value == 0x55 && IsUnlock(offset, kCommandAddress2)) ? Cmd::EraseUnlock2 : Cmd::Read;
      return;
    case Cmd::EraseUnlock2:
      cmd_ = Cmd::Read;
      if (value == 0x10 && IsUnlock(offset, kCommandAddress1)) {
        eraseSectors_.assign(1, UINT32_MAX);
        StartErase(nowNs, info_->chipEraseNs);
      } else if (value == 0x30) {
        cmd_ = Cmd::SectorEraseWindow;
        eraseSectors_.assign(1, offset - offset % info_->sectorSize);
        sectorWindowEndNs_ = nowNs + kSectorEraseWindowNs;
      }
      return;
    default:
      cmd_ = Cmd::Read;
      return;
  }
}

void FlashChip::PageLoad(uint32_t offset, uint8_t value, uint64_t nowNs) {
  if (!pageLoading_) {
    pageLoading_ = true;
    pageBase_ = offset - offset % info_->pageSize;
    std::fill(pageLoaded_.begin(), pageLoaded_.end(), false);
  }
  // The page address is latched by the first byte; later bytes land at their
  // offset within that page.
  const uint32_t i = offset % info_->pageSize;
  pageData_[i] = value;
  pageLoaded_[i] = true;
  pollByte_ = value;
  lastLoadNs_ = nowNs;
}

void FlashChip::ReplayPending(uint64_t nowNs) {
  auto pending = std::move(pending_);
  pending_.clear();
  cmd_ = Cmd::Read;
  if (sdpEnabled_) return;  // protected: stray bytes are ignored
  for (const auto& [off, v] : pending) PageLoad(off, v, nowNs);
}

void FlashChip::PageWrite(uint32_t offset, uint8_t value, uint64_t nowNs) {
  if (busy_ != Op::None) return;  // writes during the write cycle are ignored
  if (pageLoading_) {
    PageLoad(offset, value, nowNs);
    return;
  }
  auto keep = [&] { pending_.emplace_back(offset, value); };
  switch (cmd_) {
    case Cmd::Read:
      if (value == 0xAA && IsUnlock(offset, kCommandAddress1)) {
        keep();
        cmd_ = Cmd::Unlock1;
        return;
      }
      break;
    case Cmd::Unlock1:
      if (value == 0x55 && IsUnlock(offset, kCommandAddress2)) {
        keep();
        cmd_ = Cmd::Unlock2;
        return;
      }
      ReplayPending(nowNs);
      break;
    case Cmd::Unlock2:
      if (IsUnlock(offset, kCommandAddress1) &&
          (value == 0xA0 || value == 0x80 || value == 0x90 || value == 0xF0)) {
        pending_.clear();
        cmd_ = Cmd::Read;
        if (value == 0x80) {
          keep();
          cmd_ = Cmd::DisableUnlock3;
        } else if (value == 0x90) {
          idMode_ = true;
        } else if (value == 0xF0) {
          idMode_ = false;
        } else {
          // Protected write: the page that follows is written and protection
          // is (or stays) on once the write cycle has begun.
          enableSdpOnWrite_ = true;
          unlockedLoad_ = true;
        }
        return;
      }
      ReplayPending(nowNs);
      break;
    case Cmd::DisableUnlock3:
      if (value == 0xAA && IsUnlock(offset, kCommandAddress1)) {
        keep();
        cmd_ = Cmd::DisableUnlock4;
        return;
      }
      ReplayPending(nowNs);
      break;
    case Cmd::DisableUnlock4:
      if (value == 0x55 && IsUnlock(offset, kCommandAddress2)) {
        keep();
        cmd_ = Cmd::DisableUnlock5;
        return;
      }
      ReplayPending(nowNs);
      break;
    case Cmd::DisableUnlock5:
      if (value == 0x20 && IsUnlock(offset, kCommandAddress1)) {
        pending_.clear();
        cmd_ = Cmd::Read;
        if (sdpEnabled_) {
          sdpEnabled_ = false;
          Touch();
        }
        return;
      }
      ReplayPending(nowNs);
      break;
    default:
      ReplayPending(nowNs);
      break;
  }
  if (pageLoading_) {  // replayed bytes started a page
    PageLoad(offset, value, nowNs);
    return;
  }
  if (sdpEnabled_ && !unlockedLoad_) return;  // protected and not unlocked: ignored
  unlockedLoad_ = false;
  PageLoad(offset, value, nowNs);
}

bool FlashChip::Save(const std::string& path, std::string* error) const {
  std::ostringstream out;
  out << kMagic << "\nchip " << info_->name << "\nsize " << data_.size() << "\nsdp "
      << (sdpEnabled_ ? 1 : 0) << "\ndata\n";
  out.write(reinterpret_cast<const char*>(data_.data()),
            static_cast<std::streamsize>(data_.size()));
  return WriteFileAtomically(path, out.view(), error, ".tmp");
}

std::unique_ptr<FlashChip> FlashChip::Load(const std::string& path, uint8_t expectedType,
                                           std::string* error) {
  auto fail = [&](const std::string& why) -> std::unique_ptr<FlashChip> {
    if (error) *error = why;
    return nullptr;
  };
  const FlashChipInfo* want = FindFlashInfo(expectedType);
  if (!want) return fail("unknown flash type");
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("no flash file " + path);
  std::string line;
  if (!std::getline(in, line) || line != kMagic) return fail(path + " is not a flash file");
  std::string chip;
  uint64_t size = 0;
  int sdp = 0;
  bool sawData = false;
  for (int guard = 0; guard < 16 && std::getline(in, line); ++guard) {
    if (line == "data") {
      sawData = true;
      break;
    }
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key == "chip")
      fields >> chip;
    else if (key == "size")
      fields >> size;
    else if (key == "sdp")
      fields >> sdp;
  }
  if (!sawData) return fail(path + ": header without data");
  if (chip != want->name)
    return fail(path + " holds a " + (chip.empty() ? std::string("?") : chip) +
                ", the board carries a " + want->name);
  if (size != want->capacity) return fail(path + ": wrong size for " + chip);
  auto result = std::make_unique<FlashChip>(expectedType);
  in.read(reinterpret_cast<char*>(result->data_.data()), static_cast<std::streamsize>(size));
  if (static_cast<uint64_t>(in.gcount()) != size) return fail(path + " is truncated");
  result->sdpEnabled_ = sdp != 0;
  return result;
}

}  // namespace velmora::sim
