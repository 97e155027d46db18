// Byte-wide flash chips as the boards carry them: the JEDEC-command parts
// (AM29F010, AM29F040, HY29F040A: unlock cycles, byte program, chip and sector
// erase with DQ7 data polling, DQ6 toggle and the DQ5 time-out) and the Atmel
// page-write parts (AT29C010A, AT29C020, AT29C040A: software data protection,
// page load within the byte-load window, internal write cycle). Time is given
// by the caller in nanoseconds of board time. Each rule and its data sheet are
// listed in sim/README.md.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::sim {

struct FlashChipInfo {
  uint8_t type;       // FlashType: 0 AM29F010 ... 5 AT29C040A
  const char* name;   // "AM29F010" ...
  uint32_t capacity;  // bytes
  uint8_t manufacturerId;
  uint8_t deviceId;
  bool pageWrite;       // Atmel page-write part
  uint32_t pageSize;    // bytes (page-write parts)
  uint32_t sectorSize;  // bytes (JEDEC parts)
  bool hasRevisionB;    // a B revision exists that decodes commands on A10-A0
  uint64_t programNs;   // byte program (JEDEC) or write cycle (page write)
  uint64_t chipEraseNs;
  uint64_t sectorEraseNs;
};

inline constexpr int kFlashTypeCount = 6;
// Speed grades (read access time tACC in ns) the parts come in; a board
// without a stated grade carries the slowest.
inline constexpr uint32_t kFlashSpeedGrades[] = {70, 90, 120, 150};
inline constexpr uint32_t kSlowestFlashSpeedNs = 150;
bool IsFlashSpeedGrade(uint32_t ns);

// What the board's part is beyond its type.
struct FlashOptions {
  bool revisionB = false;  // AM29F010B / AM29F040B; ignored for parts without one
  uint32_t speedNs = kSlowestFlashSpeedNs;
  bool operator==(const FlashOptions&) const = default;
};
// nullptr for an unknown type.
const FlashChipInfo* FindFlashInfo(uint8_t flashType);
const FlashChipInfo* FindFlashInfo(const std::string& name);

class FlashChip {
 public:
  // Page-write parts: the byte-load window after which the write cycle starts.
  static constexpr uint64_t kByteLoadWindowNs = 150'000;
  // JEDEC parts: how long a failing program or erase runs before DQ5 rises.
  static constexpr uint64_t kProgramTimeoutNs = 300'000;
  static constexpr uint64_t kEraseTimeoutNs = 2'000'000'000;
  // JEDEC parts: the sector-erase window in which more sectors may be added.
  static constexpr uint64_t kSectorEraseWindowNs = 50'000;

  explicit FlashChip(uint8_t flashType);  // type must be valid; contents erased (0xFF)

  const FlashChipInfo& Info() const { return *info_; }
  uint32_t Capacity() const { return info_->capacity; }

  // Revision and speed grade; the contents stay.
  void Configure(const FlashOptions& options);
  const FlashOptions& Options() const { return options_; }
  bool RevisionB() const { return options_.revisionB && info_->hasRevisionB; }
  // Address bits a command cycle compares: A14-A0, or A10-A0 on a B revision.
  uint32_t CommandAddressMask() const { return RevisionB() ? 0x7FF : 0x7FFF; }
  // Bus timing the part needs: read access time (address to data, tACC) and
  // the shortest write pulse (tWP).
  uint32_t AccessNs() const { return options_.speedNs; }
  uint32_t WritePulseNs() const;

  // Bus cycles. Offsets beyond the capacity wrap (the upper address lines are
  // not connected).
  uint8_t BusRead(uint32_t offset, uint64_t nowNs);
  void BusWrite(uint32_t offset, uint8_t value, uint64_t nowNs);
  // Completes the internal operations whose time has come.
  void Update(uint64_t nowNs);
  // When the next internal state change happens; UINT64_MAX when idle.
  uint64_t NextEventNs() const;
  bool Busy() const;

  // Contents, without bus side effects.
  uint8_t Peek(uint32_t offset) const { return data_[offset % data_.size()]; }
  const std::vector<uint8_t>& Contents() const { return data_; }
  void Fill(uint8_t value);
  void WriteContents(uint32_t offset, const uint8_t* bytes, size_t count);
  bool SdpEnabled() const { return sdpEnabled_; }
  void SetSdpEnabled(bool on) { sdpEnabled_ = on; }
  // Bumped on every change of contents or protection; for persistence.
  uint64_t Generation() const { return generation_; }

  // Fault injection: the next `count` erases end in the DQ5 time-out
  // (UINT32_MAX: every one); every byte program (JEDEC) or write cycle (page
  // write) takes `ns` (0: the part's own time).
  void SetEraseFailures(uint32_t count) { eraseFailures_ = count; }
  void SetEraseFailure(bool fail) { eraseFailures_ = fail ? UINT32_MAX : 0; }
  void SetProgramTimeNs(uint64_t ns) { programNsOverride_ = ns; }
  void CorruptByte(uint32_t offset, uint8_t value);

  // Persistence: a small text header (chip name, size, protection) and the raw
  // bytes; written to a temporary file and renamed over the old one.
  bool Save(const std::string& path, std::string* error) const;
  // Loads a chip file. Fails (with the reason) for a missing, truncated or
  // malformed file, or one written for another chip type.
  static std::unique_ptr<FlashChip> Load(const std::string& path, uint8_t expectedType,
                                         std::string* error);

 private:
  enum class Cmd : uint8_t {
    Read,
    Unlock1,
    Unlock2,
    ProgramSetup,
    EraseSetup,
    EraseUnlock1,
    EraseUnlock2,
    SectorEraseWindow,
    // Page-write parts
    DisableUnlock3,  // AA 55 80 seen
    DisableUnlock4,  // ... AA
    DisableUnlock5,  // ... 55
  };
  enum class Op : uint8_t { None, Program, Erase, WriteCycle };

  void JedecWrite(uint32_t offset, uint8_t value, uint64_t nowNs);
  void PageWrite(uint32_t offset, uint8_t value, uint64_t nowNs);
  void PageLoad(uint32_t offset, uint8_t value, uint64_t nowNs);
  void ReplayPending(uint64_t nowNs);
  bool IsUnlock(uint32_t offset, uint32_t address) const;
  void StartErase(uint64_t startNs, uint64_t durationNs);
  uint8_t StatusByte();
  void Touch() { ++generation_; }

  const FlashChipInfo* info_;
  FlashOptions options_;
  std::vector<uint8_t> data_;
  uint64_t generation_ = 0;
  bool sdpEnabled_ = false;
  uint32_t eraseFailures_ = 0;
  uint64_t programNsOverride_ = 0;
  bool autoselect_ = false;  // JEDEC: until the reset command

  Cmd cmd_ = Cmd::Read;
  Op busy_ = Op::None;
  uint64_t busyEndNs_ = 0;
  bool failed_ = false;      // DQ5: the operation exceeded its time limit
  uint64_t failAtNs_ = 0;    // when DQ5 rises for a failing operation
  bool toggle_ = false;      // DQ6
  uint8_t pollByte_ = 0xFF;  // data whose DQ7 is complemented while busy
  uint32_t programOffset_ = 0;
  uint8_t programValue_ = 0;
  std::vector<uint32_t> eraseSectors_;
  uint64_t sectorWindowEndNs_ = 0;

  // Page-write parts.
  bool pageLoading_ = false;
  bool enableSdpOnWrite_ = false;
  uint32_t pageBase_ = 0;
  uint64_t lastLoadNs_ = 0;
  std::vector<uint8_t> pageData_;
  std::vector<bool> pageLoaded_;
  std::vector<std::pair<uint32_t, uint8_t>> pending_;  // command bytes that may be data
  bool idMode_ = false;
  bool unlockedLoad_ = false;  // the SDP sequence allows the next page load
};

}  // namespace velmora::sim
