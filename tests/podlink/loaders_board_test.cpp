// The built-in flash loaders on a bare virtual board, driven word by word at
// chosen board times: bus set-up (which also proves the patch points), the
// answers and their lag, and whether a loader keeps up with the pace the host
// sets. Their layout is checked against the sources by loader_tables_match_sources.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "c3x/Assembler.h"
#include "c3x/Isa.h"
#include "podlink/PodLink.h"
#include "sim/Board.h"
#include "sim/SimFtdiDevice.h"

namespace velmora::test {
namespace {

constexpr uint64_t kUs = 1000;
// The host's fastest pace between two flash words: the fixed pause after each
// S command plus the pause after each programmed word (the wire takes longer).
constexpr uint64_t kHostWordSpacingNs = (kFixedWordDelayUs + kFlashWordDelayUs) * kUs;

// The loader's own variables, found by assembling its source.
struct LoaderSymbols {
  uint32_t ringOverflow = 0, flashErrors = 0, streamErrors = 0, rhead = 0, rtail = 0;
};

LoaderSymbols Symbols(FlashLoaderId id) {
  const char* names[] = {"c31", "c32_byte", "c32_page", "c33"};
  const std::string path = std::string(VELMORA_SOURCE_DIR) + "/src/podlink/loaders/flash_loader_" +
                           names[static_cast<int>(id)] + ".asm";
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const c3x::AsmResult r = c3x::Assemble(text.str(), path, c3x::FileIncludeReader());
  EXPECT_TRUE(r.ok) << (r.errors.empty() ? path : r.errors.front());
  LoaderSymbols s;
  for (const c3x::AsmSymbol& sym : r.symbols) {
    if (sym.name == "ring_overflow") s.ringOverflow = sym.value;
    if (sym.name == "flash_errors") s.flashErrors = sym.value;
    if (sym.name == "stream_errors") s.streamErrors = sym.value;
    if (sym.name == "rhead") s.rhead = sym.value;
    if (sym.name == "rtail") s.rtail = sym.value;
  }
  return s;
}

// A board of the given kind with a production loader serial-booted into it
// and running; patch holds the bus control words (C32: IOSTRB, STRB0, STRB1).
struct BoardWithLoader {
  std::unique_ptr<sim::Board> board;
  FlashLoader loader;
  LoaderSymbols symbols;

  BoardWithLoader(uint8_t dsp, uint8_t flash, uint8_t boot, std::vector<uint32_t> patch = {},
                  sim::FlashOptions part = {}, const FlashLoader* variant = nullptr) {
    sim::BoardConfig cfg;
    cfg.dspType = dsp;
    cfg.flashType = flash;
    cfg.bootMode = boot;
    cfg.flash = part;
    board = std::make_unique<sim::Board>(cfg);
    board->PowerUp();
    const FlashLoaderId id = ChooseFlashLoader(dsp, flash);
    loader = variant ? *variant : ProductionFlashLoaders().Get(id);
    symbols = Symbols(id);
    if (patch.empty() && dsp != kTMS320C32) patch = {0x000008F8};
    for (size_t i = 0; i < patch.size(); ++i) loader.words[loader.patchIndices.at(i)] = patch[i];
    for (uint32_t w : loader.words) Send(w, 10 * kUs);
    board->RunForNs(100 * kUs);
  }

  // One transfer, `afterNs` after the previous one; returns the word the
  // target shifted out.
  uint32_t Send(uint32_t word, uint64_t afterNs = 100 * kUs) {
    board->RunForNs(afterNs);
    return board->SerialExchange(word);
  }
  uint32_t Var(uint32_t address) {
    uint32_t v = 0;
    board->ReadWord(address, &v);
    return v;
  }
  uint32_t Base() const {
    return sim::BootBaseAddress(board->Config().dspType, board->Config().bootMode);
  }
  // The loader's status answer to a request with `tag`, once it has caught up
  // (0xFFFFFFFF when it never answers).
  uint32_t Status(uint32_t tag) {
    Send(kFlashStatus | tag);
    for (int i = 0; i < 5000; ++i) {
      const uint32_t reply = Send(kFlashStatus | tag, 1000 * kUs);
      if ((reply & 0xFFFFFF) == tag) return reply;
    }
    return 0xFFFFFFFF;
  }
  // Programs words from base + 4 * first on at the host's pace.
  void Program(uint32_t first, const std::vector<uint32_t>& words) {
    Send(kFlashProgram);
    Send(static_cast<uint32_t>(words.size()));
    Send(Base() + 4 * first);
    for (uint32_t w : words) Send(w, kHostWordSpacingNs);
    Send(0, kHostWordSpacingNs);
  }
};

// A production loader whose JEDEC unlock cycles go back to 555h/2AAh inside
// the 2K block of the address, as the loaders once had them.
FlashLoader WithUnlockAt555(FlashLoader loader) {
  const uint32_t orImmediate = c3x::Info(c3x::Op::OR).opcode | (3u << 21);
  int changed = 0;
  for (uint32_t& w : loader.words) {
    if ((w & 0xFFE0FFFF) == (orImmediate | 0x5555) || (w & 0xFFE0FFFF) == (orImmediate | 0x2AAA)) {
      w = (w & 0xFFFF0000) | (w & 0x07FF);
      ++changed;
    } else if (w == 0x00FF8000) {  // k_jedec_page
      w = 0x00FFF800;
      ++changed;
    }
  }
  EXPECT_GE(changed, 3);  // the page writes' unlock words change too, unused here
  return loader;
}

TEST(LoaderOnBoard, AppliesTheConfiguredBusControlBeforeTouchingTheFlash) {
  for (uint8_t dsp : {kTMS320C31, kTMS320C33}) {
    BoardWithLoader b(dsp, kAM29F040, 0, {0x00001ABC});
    EXPECT_EQ(b.board->BusControl(sim::reg::kPrimaryBus), 0x00001ABCu) << int(dsp);
  }
  // The TMS320C32 stream carries the three values in front; the boot loader
  // sets them before the loader starts.
  BoardWithLoader b(kTMS320C32, kAT29C020, 0, {0x11, 0x0F0222, 0x0F0333});
  EXPECT_EQ(b.board->State(), sim::BoardState::Running);
  EXPECT_EQ(b.board->BusControl(sim::reg::kIostrb), 0x11u);
  EXPECT_EQ(b.board->BusControl(sim::reg::kStrb0), 0x0F0222u);
  EXPECT_EQ(b.board->BusControl(sim::reg::kStrb1), 0x0F0333u);
}

TEST(LoaderOnBoard, WordProgramFinishesBeforeTheHostsNextWord) {
  // The slowest program (AM29F010, 14 us a byte) on each DSP, and the others.
  for (uint8_t dsp = 0; dsp < 3; ++dsp) {
    for (uint8_t flash : {kAM29F010, kAM29F040, kHY29F040A}) {
      SCOPED_TRACE(std::string(DspTypeName(dsp)) + " " + FlashTypeName(flash));
      BoardWithLoader b(dsp, flash, 0);
      const uint32_t base = b.Base();
      const std::vector<uint32_t> words = {0x00000000, 0x12345678, 0x80808080, 0x7F7F7F7F};
      b.Send(kFlashProgram);
      b.Send(static_cast<uint32_t>(words.size()));
      b.Send(base);
      uint64_t slowestNs = 0;
      for (size_t i = 0; i < words.size(); ++i) {
        b.Send(words[i], kHostWordSpacingNs);
        // Step until the word is in the chip and the chip is idle again.
        uint64_t spent = 0;
        while ((b.board->Flash().Busy() ||
                b.board->FlashImageWord(static_cast<uint32_t>(i)) != words[i]) &&
               spent < 10 * kHostWordSpacingNs) {
          b.board->RunForNs(kUs);
          spent += kUs;
        }
        slowestNs = std::max(slowestNs, spent);
        EXPECT_EQ(b.board->FlashImageWord(static_cast<uint32_t>(i)), words[i]);
      }
      EXPECT_LT(slowestNs, kHostWordSpacingNs);
      b.Send(0, kHostWordSpacingNs);
      b.board->RunForNs(100 * kUs);
      EXPECT_EQ(b.Var(b.symbols.flashErrors), 0u);
      EXPECT_EQ(b.Var(b.symbols.rhead), b.Var(b.symbols.rtail)) << "every word taken";
      RecordProperty(
          std::string("word_program_us_") + DspTypeName(dsp) + "_" + FlashTypeName(flash),
          static_cast<int>(slowestNs / kUs));
    }
  }
}

TEST(LoaderOnBoard, AnAnswerThatComesLateIsDroppedSoLaterRepliesStayInStep) {
  // Two reads arrive while the loader waits out a page write cycle: their
  // transfers pass unanswered, and the next transfer answers the newer one.
  BoardWithLoader b(kTMS320C31, kAT29C040A, 0);
  const uint32_t base = b.Base();
  b.Send(kFlashPage);
  b.Send(64);
  b.Send(base + 0x100);
  for (uint32_t i = 0; i < 64; ++i) b.Send(0xA0A0A000 + i, 20 * kUs);
  const uint8_t marker[] = {1, 2, 3, 4, 5, 6, 7, 8};
  b.board->Flash().WriteContents(b.board->BootOffset(), marker, 8);
  b.Send(base | kFlashReadOther, 1000 * kUs);  // mid-cycle
  b.Send((base + 4) | kFlashReadOther, 1000 * kUs);
  b.board->RunForNs(12'000 * kUs);  // the cycle ends, the loader catches up
  EXPECT_EQ(b.Send((base + 4) | kFlashReadOther), 0x08070605u);
  EXPECT_EQ(b.Send(base | kFlashReadOther), 0x08070605u);
  EXPECT_EQ(b.Send(base | kFlashReadOther), 0x04030201u);
  EXPECT_EQ(b.board->FlashImageWord(0x40), 0xA0A0A000u);
}

TEST(LoaderOnBoard, PagesThatArriveDuringAWriteCycleAreKept) {
  // Without the host's pause between pages the next pages queue up while the
  // chip writes; none of their words is lost.
  for (uint8_t dsp = 0; dsp < 3; ++dsp) {
    SCOPED_TRACE(DspTypeName(dsp));
    const uint8_t flash = dsp == kTMS320C32 ? kAT29C020 : kAT29C010A;
    const uint32_t page = FlashPageWords(flash);
    BoardWithLoader b(dsp, flash, 0);
    const uint32_t base = b.Base();
    for (uint32_t p = 0; p < 3; ++p) {
      b.Send(kFlashPage | (base & 0xFF0000));
      b.Send(page);
      b.Send(base + 4 * page * p);
      for (uint32_t i = 0; i < page; ++i) b.Send(p << 24 | i, 98 * kUs);
    }
    b.board->RunForNs(40'000 * kUs);
    for (uint32_t p = 0; p < 3; ++p)
      for (uint32_t i = 0; i < page; ++i)
        ASSERT_EQ(b.board->FlashImageWord(p * page + i), p << 24 | i) << "page " << p;
    EXPECT_EQ(b.Var(b.symbols.ringOverflow), 0u);
    EXPECT_EQ(b.Var(b.symbols.flashErrors), 0u);
  }
}

}  // namespace
}  // namespace velmora::test

namespace velmora::test {
namespace {

TEST(LoaderOnBoard, JedecUnlockAt5555hReachesTheOriginalPartsAnd555hOnlyTheBRevisions) {
  const std::vector<uint32_t> words = {0x12345678, 0x0F0F0F0F};
  for (uint8_t dsp : {kTMS320C31, kTMS320C32}) {
    for (bool old : {false, true}) {
      for (bool revisionB : {false, true}) {
        SCOPED_TRACE(std::string(DspTypeName(dsp)) + (old ? " 555h" : " 5555h") +
                     (revisionB ? " AM29F010B" : " AM29F010"));
        const FlashLoader variant =
            WithUnlockAt555(ProductionFlashLoaders().Get(ChooseFlashLoader(dsp, kAM29F010)));
        BoardWithLoader b(dsp, kAM29F010, 2, {}, {revisionB, 150}, old ? &variant : nullptr);
        b.Program(0, words);
        b.board->RunForNs(50'000 * kUs);
        const bool works = !old || revisionB;
        EXPECT_EQ(b.board->FlashImageWord(1) == words[1], works);
        EXPECT_EQ(b.Status(0x123456), works ? 0x00123456u : 0x08123456u) << "8 bytes refused";
      }
    }
  }
}

TEST(LoaderOnBoard, AnEraseAfterAFailedOneResetsTheChipFirst) {
  BoardWithLoader b(kTMS320C33, kHY29F040A, 0);
  b.board->Flash().Fill(0x00);
  b.board->Flash().SetEraseFailures(1);
  const uint32_t poll = b.Base() | kFlashRead29F040;
  b.Send(kFlashErase | b.Base());
  b.board->RunForNs(2'100'000 * kUs);
  b.Send(poll);
  EXPECT_EQ(b.Send(poll) & 0xA0, 0x20u) << "DQ5 without DQ7";
  // Retried without a reset in between: the loader's own reset lets it start.
  b.Send(kFlashErase | b.Base());
  b.board->RunForNs(8'100'000 * kUs);
  b.Send(poll);
  EXPECT_EQ(b.Send(poll), 0xFFFFFFFFu);
  EXPECT_EQ(b.board->Flash().Peek(0x7FFFF), 0xFF);
}

TEST(LoaderOnBoard, LostWordsAndUnfinishedWritesShowInTheStatusAndStopFurtherWrites) {
  // A chip slower than the host's pace fills the C32 loader's 64-word ring.
  {
    BoardWithLoader b(kTMS320C32, kAM29F010, 0);
    b.board->Flash().SetProgramTimeNs(1000 * kUs);
    std::vector<uint32_t> words(150, 0x00000000);
    b.Program(0, words);
    EXPECT_GE(b.Status(0xABCDEF) >> 24, 1u);
    EXPECT_GT(b.Var(b.symbols.ringOverflow), 0u);
    // Nothing more is written once words are known to be lost.
    b.board->Flash().SetProgramTimeNs(0);
    b.Program(200, {0x11111111});
    b.board->RunForNs(10'000 * kUs);
    EXPECT_EQ(b.board->FlashImageWord(200), 0xFFFFFFFFu);
  }
  // Words faster than the receive interrupt: the port keeps two and loses the
  // third, which the loader sees as a full receive shift register.
  {
    BoardWithLoader b(kTMS320C31, kAM29F040, 0);
    for (uint32_t tag : {1u, 2u, 3u}) b.board->SerialExchange(kFlashStatus | tag);
    EXPECT_EQ(b.Status(0x000444), 0x01000444u);
  }
  // A word missing from a program command: the closing 0 comes one word late.
  {
    BoardWithLoader b(kTMS320C31, kAM29F040, 1);
    b.Send(kFlashProgram);
    b.Send(3);
    b.Send(b.Base());
    for (uint32_t w : {0x01020304u, 0x05060708u, 0u}) b.Send(w, kHostWordSpacingNs);
    EXPECT_EQ(b.Status(0x000777), 0x01000777u);
    EXPECT_EQ(b.Var(b.symbols.streamErrors), 1u);
  }
  // A page whose write cycle never ends is given up and counted.
  {
    BoardWithLoader b(kTMS320C31, kAT29C010A, 0);
    b.board->Flash().SetProgramTimeNs(5'000'000 * kUs);
    b.Send(kFlashPage);
    b.Send(32);
    b.Send(b.Base());
    for (uint32_t i = 0; i < 32; ++i) b.Send(i, kHostWordSpacingNs);
    EXPECT_EQ(b.Status(0x5A5A5A), 0x015A5A5Au);
    EXPECT_EQ(b.Var(b.symbols.flashErrors), 1u);
  }
}

}  // namespace
}  // namespace velmora::test

namespace velmora::test {
namespace {

// The pod link on a virtual board with the production loaders, on a virtual
// clock; the flash holds `image` as the procedures would have put it.
struct LinkOnBoard {
  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  sim::SimFtdiDevice* device = nullptr;
  CPodLink link;

  LinkOnBoard(uint8_t dsp, uint8_t flash, uint8_t boot)
      : link(
            [this, dsp, flash, boot](std::string&) -> std::unique_ptr<FtdiApi> {
              sim::BoardConfig cfg;
              cfg.dspType = dsp;
              cfg.flashType = flash;
              cfg.bootMode = boot;
              auto board = std::make_unique<sim::Board>(cfg);
              board->PowerUp();
              board->RunForNs(cfg.serialBootWindowNs + 1'000'000);
              auto d =
                  std::make_unique<sim::SimFtdiDevice>(std::move(board), sim::PodOptions{}, clock);
              device = d.get();
              return d;
            },
            clock, delayer) {
    AppSettings s;
    s.dspType = dsp;
    s.flashType = flash;
    s.bootType = boot;
    link.SetTransferSettings(Derive(s));
    link.SetFlashLoaders(ProductionFlashLoaders());
    link.ApplyMemoryInterfaceValuesToLoaders();
    EXPECT_TRUE(link.LoadDriver() && link.FindDevice() && link.Open());
  }
  sim::Board& Board() { return device->TheBoard(); }
};

ProgramImage RandomImage(uint32_t words, uint32_t seed) {
  ProgramImage image;
  image.words.resize(words + 64, 0xFFFFFFFF);
  for (uint32_t i = 0; i < words; ++i) image.words[i] = seed = seed * 1664525u + 1013904223u;
  image.imageByteCount = 4 * words;
  return image;
}

TEST(FlashOnBoard, GroupedAndQuickVerifyGiveTheOutcomeOfSingleReadsWhereverTheFlashDiffers) {
  const uint32_t n = 300;
  for (auto [dsp, flash] :
       {std::pair{kTMS320C31, kAT29C040A}, {kTMS320C32, kAM29F040}, {kTMS320C33, kAM29F010}}) {
    SCOPED_TRACE(DspTypeName(dsp));
    LinkOnBoard b(dsp, flash, 0);
    const ProgramImage image = RandomImage(n, dsp);
    b.Board().WriteFlashImage(std::vector<uint32_t>(image.words.begin(), image.words.begin() + n));
    ASSERT_TRUE(b.link.DownloadFlashLoader());
    const uint32_t base = b.link.TransferSettings().bootBase;
    const uint32_t tag = flash == kAM29F040 ? kFlashRead29F040 : kFlashReadOther;
    // Flash byte offsets to change: none, the first word, the last, one in
    // the middle, the third byte of a word.
    for (int64_t byte :
         {int64_t{-1}, int64_t{0}, int64_t{4 * n - 4}, int64_t{4 * 150}, int64_t{4 * 77 + 2}}) {
      SCOPED_TRACE(byte);
      const uint32_t offset = b.Board().BootOffset() + static_cast<uint32_t>(byte);
      if (byte >= 0) b.Board().Flash().CorruptByte(offset, b.Board().Flash().Peek(offset) ^ 0x10);
      // The reference: one read at a time, each waiting for its reply.
      std::vector<uint32_t> single(n);
      uint32_t unused = 0;
      ASSERT_TRUE(b.link.ReadTargetWord(base | tag, unused));
      for (uint32_t v = 1; v <= n; ++v)
        ASSERT_TRUE(b.link.ExchangeWordNoDelay((base + 4 * v) | tag, single[v - 1]));
      const auto differs = std::mismatch(single.begin(), single.end(), image.words.begin());
      const bool same = differs.first == single.end();
      const uint32_t at = same ? UINT32_MAX : static_cast<uint32_t>(differs.first - single.begin());
      EXPECT_EQ(at, byte < 0 ? UINT32_MAX : static_cast<uint32_t>(byte / 4));

      for (bool quick : {false, true}) {
        EXPECT_EQ(quick ? b.link.QuickVerifyFlash(image) : b.link.VerifyFlash(image), same);
        EXPECT_EQ(b.link.FlashFailureWord(), at) << quick;
      }
      ProgramImage read = image;
      ASSERT_TRUE(b.link.ReadFlash(read));
      EXPECT_TRUE(std::equal(single.begin(), single.end(), read.words.begin()));
      if (byte >= 0) b.Board().Flash().CorruptByte(offset, b.Board().Flash().Peek(offset) ^ 0x10);
    }
  }
}

TEST(FlashOnBoard, TheLoadersCrcIsTheHostsForEveryChipAndDsp) {
  for (uint8_t dsp = 0; dsp < 3; ++dsp) {
    for (uint8_t flash = 0; flash < 6; ++flash) {
      SCOPED_TRACE(std::string(DspTypeName(dsp)) + " " + FlashTypeName(flash));
      LinkOnBoard b(dsp, flash, static_cast<uint8_t>((dsp + flash) % 3));
      const uint32_t n = 257 + 64 * flash;
      const ProgramImage image = RandomImage(n, 1000 * dsp + flash);
      b.Board().WriteFlashImage(
          std::vector<uint32_t>(image.words.begin(), image.words.begin() + n));
      ASSERT_TRUE(b.link.DownloadFlashLoader());
      // A match decides the verify without reading the words back. (The
      // loader's last words are still on the wire when the download returns.)
      b.clock.AdvanceUs(50'000);
      b.device->Sync();
      const uint64_t before = b.Board().SerialFramesExchanged();
      ASSERT_TRUE(b.link.QuickVerifyFlash(image));
      EXPECT_LT(b.Board().SerialFramesExchanged() - before, 20u);
    }
  }
}

}  // namespace
}  // namespace velmora::test
