// A virtual board kept in a folder: its options (DSP type, flash chip, boot
// mode, pod firmware version, ...) in board.ini and its flash contents in one
// file per chip type, so that a flashed program survives a restart. Also the
// "sim" pod backend built on it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "config/Clock.h"
#include "podlink/FtdiBackends.h"
#include "sim/SimFtdiDevice.h"

namespace velmora::sim {

struct BoardOptions {
  uint8_t dspType = 0;    // 0 TMS320C31, 1 TMS320C32, 2 TMS320C33
  uint8_t flashType = 1;  // 0 AM29F010 ... 5 AT29C040A
  uint8_t bootMode = 0;   // 0 Boot1, 1 Boot2, 2 Boot3
  uint8_t firmwareVersion = 0x12;
  uint32_t cpuMhz = 0;  // 0: the DSP type's default
  bool resetActiveHigh = false;
  FlashOptions flash;  // revision (AM29F010B, AM29F040B) and speed grade
  bool operator==(const BoardOptions&) const = default;
};

// XDG_DATA_HOME/velmora/sim, else ~/.local/share/velmora/sim.
std::string DefaultBoardFolder();

class BoardFolder {
 public:
  explicit BoardFolder(std::string folder);
  const std::string& Path() const { return folder_; }
  std::string OptionsPath() const;
  std::string FlashPath(uint8_t flashType) const;  // flash-<CHIP>.bin

  // False when there is no options file yet (error stays empty) or it cannot
  // be read (error says why).
  bool LoadOptions(BoardOptions* options, std::string* error) const;
  bool SaveOptions(const BoardOptions& options, std::string* error) const;

  // The chip with the stored contents, or an erased one when there is no file
  // (a file that cannot be used is reported in note and left in place).
  std::unique_ptr<FlashChip> LoadFlash(uint8_t flashType, std::string* note) const;
  bool SaveFlash(const FlashChip& chip, std::string* error) const;

 private:
  std::string folder_;
};

// Parsers for option values given as text; false for a value they do not know.
bool ParseDspType(const std::string& text, uint8_t* out);           // C31, TMS320C32, 2 ...
bool ParseFlashType(const std::string& text, uint8_t* out);         // AM29F040, 1 ...
bool ParseBootMode(const std::string& text, uint8_t* out);          // Boot1..Boot3, 1..3
bool ParseFirmwareVersion(const std::string& text, uint8_t* out);   // 1.2, 0x12, 12
bool ParseFlashRevision(const std::string& text, bool* revisionB);  // A (or empty), B
bool ParseFlashSpeed(const std::string& text, uint32_t* ns);        // 70, 90, 120, 150

// Resolves the board: explicit values (dsp, flash, boot, firmware, mhz,
// reset-polarity, flash-rev, flash-speed) override what the folder holds; for a new folder the
// configured-dsp, configured-flash and configured-boot values are the
// defaults. The result is written back to the folder.
bool ResolveBoardOptions(BoardFolder& folder, const std::map<std::string, std::string>& values,
                         BoardOptions* options, std::string* error);

// A warning when the host's configured DSP, flash or boot type (the
// configured-* values) differs from the board; empty when they agree.
std::string SettingsMismatchNote(const BoardFolder& folder, const BoardOptions& board,
                                 const std::map<std::string, std::string>& values);

// Builds the board of a folder, powered up (it boots from its flash unless
// serial data follows at once). Fault injection and clock from values:
// reset-reply=0 (the pod never answers R), break-after=N (the serial link
// breaks after N transfers), erase-fails=N (the first N erases end in the DQ5
// time-out), program-us=N (every byte program or page write cycle takes N us),
// clock=virtual (a private virtual clock that moves only while a read waits;
// default: real time with a board thread); trace=FILE writes every flash bus
// cycle to FILE.
std::unique_ptr<SimFtdiDevice> OpenVirtualBoard(const FtdiBackendOptions& options,
                                                std::string* error, VirtualClock* clock = nullptr);

// Registers "sim" with the pod backend registry (idempotent).
void RegisterSimBackend();

}  // namespace velmora::sim
