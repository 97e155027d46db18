// The host's pod link driving the virtual board: reset, version, serial boot,
// verify and target reads go through the same bytes a real pod would see.
#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "config/MicroTimer.h"
#include "podlink/PodLink.h"
#include "sim/SimFtdiDevice.h"

namespace velmora::sim::test {
namespace {

// Answers a read request (an address word) with the word at that address on
// the next transfer.
std::vector<uint32_t> Responder(uint32_t at) {
  auto p = LoadConst(R0, 0x0C3C0000);
  p.insert(p.end(), {ImmOp(Op::LDI, DP, 0x80), StiDir(R0, 0x8040), DirOp(Op::LDI, R1, 0x8040),
                     ImmOp(Op::AND, R1, 1), Bcond(kEQ, -3), DirOp(Op::LDI, AR0, 0x804C),
                     IndOp(Op::LDI, R3, c3x::kModPlain, 0), StiDir(R3, 0x8048), Br(at + 5)});
  return p;
}

struct Rig {
  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  SimFtdiDevice* device = nullptr;
  std::unique_ptr<CPodLink> link;

  explicit Rig(uint8_t dsp) {
    link = std::make_unique<CPodLink>(
        [this, dsp](std::string&) -> std::unique_ptr<FtdiApi> {
          BoardConfig cfg;
          cfg.dspType = dsp;
          auto board = std::make_unique<Board>(cfg);
          board->PowerUp();
          auto dev = std::make_unique<SimFtdiDevice>(std::move(board), PodOptions{}, clock);
          device = dev.get();
          return dev;
        },
        clock, delayer);
    DerivedTransferSettings s;
    s.dspType = dsp;
    s.resetPulseMs = 100;
    s.delayAfterResetMs = 50;
    s.transferPauseUs = 50;
    link->SetTransferSettings(s);
  }
};

ProgramData Program(uint8_t dsp, uint32_t at, const std::vector<uint32_t>& code) {
  ProgramData p;
  ResetProgramImage(p.image);
  auto& w = p.image.words;
  uint32_t i = 0;
  w[i++] = 8;
  if (dsp == 1) {
    w[i++] = 0x58;
    w[i++] = 0x0F0858;
    w[i++] = 0x0F0858;
  } else {
    w[i++] = 0x8F8;
  }
  w[i++] = static_cast<uint32_t>(code.size());
  w[i++] = at;
  if (dsp == 1) w[i++] = 0;
  CSectionInfo s;
  s.name = ".text";
  s.size = static_cast<uint32_t>(code.size());
  s.startAddress = at;
  s.dataIndex = i;
  for (uint32_t c : code) w[i++] = c;
  w[i++] = 0;
  p.image.sectionCount = 1;
  p.image.dataByteCount = s.size * 4;
  p.image.imageByteCount = i * 4;
  p.sections.push_back(s);
  return p;
}

TEST(PodLinkOnVirtualBoard, SerialBootVerifyAndReadBackOnEachDsp) {
  for (uint8_t dsp : {uint8_t{0}, uint8_t{1}, uint8_t{2}}) {
    SCOPED_TRACE(int(dsp));
    Rig rig(dsp);
    ASSERT_TRUE(rig.link->LoadDriver());
    ASSERT_TRUE(rig.link->FindDevice());
    EXPECT_EQ(rig.link->Description(), "USB POD");
    ASSERT_TRUE(rig.link->Open());
    ASSERT_TRUE(rig.link->ReadFirmwareVersion());
    EXPECT_EQ(rig.link->FirmwareVersion(), 0x12);

    const uint32_t at = dsp == 1 ? 0x87FE10 : 0x809C00;
    const ProgramData program = Program(dsp, at, Responder(at));
    ASSERT_TRUE(rig.link->SerialBootVerify(program));
    EXPECT_EQ(rig.device->TheBoard().State(), BoardState::Running);

    // The booted responder reads any word of the target.
    rig.device->TheBoard().WriteWord(at + 0x80, 0xCAFEF00D);
    uint32_t value = 0;
    ASSERT_TRUE(rig.link->ReadTargetWord(at + 0x80, value));
    EXPECT_EQ(value, 0xCAFEF00Du);
    EXPECT_TRUE(rig.link->Close());
  }
}

TEST(PodLinkOnVirtualBoard, AResetThatIsNeverAnsweredFailsTheDownload) {
  Rig rig(0);
  ASSERT_TRUE(rig.link->LoadDriver());
  ASSERT_TRUE(rig.link->FindDevice());
  ASSERT_TRUE(rig.link->Open());
  rig.device->Pod().MutableOptions().answerReset = false;
  rig.link->SetFirmwareVersion(0x12);
  EXPECT_FALSE(rig.link->ResetTarget());
  const ProgramData program = Program(0, 0x809C00, Responder(0x809C00));
  EXPECT_FALSE(rig.link->SerialBootDownload(program));
}

}  // namespace
}  // namespace velmora::sim::test
