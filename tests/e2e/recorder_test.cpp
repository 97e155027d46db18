// The recorder on the virtual board: the demo's 20 kHz control loop captured
// around its set-point step with velmora-cli record, and continuous capture
// with a host that keeps up and one that does not.
#include <cmath>
#include <fstream>
#include <sstream>

#include "PodSession.h"
#include "c3x/Assembler.h"
#include "c3x/C3xFloat.h"
#include "e2e/e2e_support.h"
#include "monitoring/Recorder.h"
#include "monitoring/TargetPort.h"

namespace velmora::e2e {
namespace {

std::vector<std::vector<std::string>> ReadCsv(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> cells;
    std::stringstream fields(line);
    for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

class Recording : public Bench {
 protected:
  void Boot() {
    ASSERT_EQ(Run("boot", {DemoPath(), "--dsp=c31"}), cli::kExitOk) << err.str();
    Wait(5);
  }
};

TEST_F(Recording, TheStepResponseComesAtTheLoopRateWithNoGapAndTheTriggerInPlace) {
  Boot();
  const struct {
    uint32_t divider;
    const char* pretrigger;
    size_t triggerRow;
  } cases[] = {{1, "25", 500}, {4, "10", 200}, {1, "0", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.divider);
    const auto csv = dir / "step.csv";
    ASSERT_EQ(
        Run("record", {"pass", "output", "command", "--coff", DemoPath(), "--dsp=c31", "--samples",
                       "2000", "--divider", std::to_string(c.divider), "--trigger", "setpoint>0.5",
                       "--pretrigger", c.pretrigger, "--csv", csv.string()}),
        cli::kExitOk)
        << err.str();
    EXPECT_NE(err.str().find("Loop rate: 20000 Hz (measured)"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("2000 samples of 4 channels, trigger at sample " +
                             std::to_string(c.triggerRow)),
              std::string::npos)
        << out.str();
    const auto rows = ReadCsv(csv);
    ASSERT_EQ(rows.size(), 2001u);
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"Time (s)", "pass", "output", "command", "setpoint"}))
        << "the trigger's variable is recorded too";
    for (size_t r = 2; r < rows.size(); ++r) {
      ASSERT_EQ(std::stoul(rows[r][1]) - std::stoul(rows[r - 1][1]), c.divider)
          << "a gap before row " << r;
    }
    const size_t t = c.triggerRow + 1;  // the header is row 0
    EXPECT_EQ(rows[t][0], "0");
    EXPECT_DOUBLE_EQ(std::stod(rows[t + 1][0]), c.divider / 20000.0);
    EXPECT_EQ(rows[t][4], "1");
    if (c.triggerRow) {
      EXPECT_EQ(rows[t - 1][4], "0");
      EXPECT_DOUBLE_EQ(std::stod(rows[1][0]), -(c.triggerRow * c.divider / 20000.0));
    }
    // The plant starts to rise only after the step: the output just before it
    // is at rest near 0, a few milliseconds later well on its way to 1.
    const double before = std::stod(rows[t][2]);
    const double later = std::stod(rows[std::min<size_t>(t + 200 / c.divider, 2000)][2]);
    EXPECT_LT(std::abs(before), 0.01);
    EXPECT_GT(later, 0.5);
  }
  EXPECT_EQ(Board().State(), sim::BoardState::Running) << Board().HaltMessage();
}

TEST_F(Recording, AStreamStartsAtItsTriggerAndRunsItsSecondsFromThere) {
  Boot();
  const auto csv = dir / "stream.csv";
  ASSERT_EQ(Run("record", {"pass", "setpoint", "--coff", DemoPath(), "--dsp=c31", "--samples",
                           "1000", "--divider", "10", "--continuous", "0.2", "--trigger",
                           "setpoint<0.5", "--csv", csv.string()}),
            cli::kExitOk)
      << err.str();
  EXPECT_EQ(err.str().find("dropped"), std::string::npos) << err.str();
  const auto rows = ReadCsv(csv);
  // 0.2 s at 2,000 samples a second, and what came while the host noticed
  // the trigger (polled every 20 ms) and stopped.
  ASSERT_GE(rows.size(), 401u);
  ASSERT_LT(rows.size(), 601u);
  EXPECT_EQ(rows[1][2], "0") << "the first sample is the one after the fall";
  for (size_t r = 2; r < rows.size(); ++r)
    ASSERT_EQ(std::stoul(rows[r][1]) - std::stoul(rows[r - 1][1]), 10u) << r;
}

TEST_F(Recording, ATriggerThatNeverComesEndsAtTheTimeoutWithWhatWasTaken) {
  Boot();
  const auto csv = dir / "never.csv";
  ASSERT_EQ(
      Run("record", {"pass", "--coff", DemoPath(), "--dsp=c31", "--samples", "100", "--trigger",
                     "setpoint>5", "--timeout", "0.3", "--rate", "20000", "--csv", csv.string()}),
      cli::kExitProcedureBase + 1)
      << err.str();
  EXPECT_NE(err.str().find("no trigger"), std::string::npos) << err.str();
  const auto rows = ReadCsv(csv);
  ASSERT_EQ(rows.size(), 101u) << "the ring was full long before";
  EXPECT_EQ(rows[1][0], "0") << "no trigger: time from the first sample";
  EXPECT_EQ(std::stoul(rows[100][1]) - std::stoul(rows[1][1]), 99u);
  EXPECT_EQ(out.str().find("trigger at"), std::string::npos);
}

TEST_F(Recording, RefusesWhatTheBufferCannotHoldAndProgramsWithoutRecorder) {
  Boot();
  const auto csv = (dir / "x.csv").string();
  EXPECT_EQ(Run("record", {"pass", "output", "--coff", DemoPath(), "--dsp=c31", "--samples", "8193",
                           "--csv", csv}),
            cli::kExitUsage);
  EXPECT_NE(err.str().find("holds 1 to 8192 samples of 2 channels"), std::string::npos)
      << err.str();
  EXPECT_EQ(Run("record", {"pass", "--coff", DemoPath(), "--dsp=c31", "--samples", "10",
                           "--trigger", "pass=3", "--csv", csv}),
            cli::kExitUsage);
  EXPECT_EQ(
      Run("record", {"nosuch", "--coff", DemoPath(), "--dsp=c31", "--samples", "10", "--csv", csv}),
      cli::kExitUsage);
  EXPECT_FALSE(std::filesystem::exists(csv));
  EXPECT_EQ(Run("record", {"pass", "--coff", DemoPath(), "--dsp=c31", "--samples", "10", "--csv",
                           (dir / "no" / "such" / "x.csv").string()}),
            cli::kExitFile)
      << "refused before anything is captured";
  // A program without the recorder is refused before the pod is asked.
  const std::string plain = (dir / "plain.out").string();
  std::vector<std::string> errors;
  ASSERT_TRUE(
      c3x::AssembleFile(VELMORA_SOURCE_DIR "/tests/shell/monitor_responder.asm", plain, errors));
  EXPECT_EQ(
      Run("record", {"0x809C00", "--coff", plain, "--dsp=c31", "--samples", "10", "--csv", csv}),
      cli::kExitRefused);
  EXPECT_NE(err.str().find("no recorder in this program"), std::string::npos) << err.str();
}

// The recorder's host side over the pod link of an open session.
class Streaming : public Recording {
 protected:
  void TearDown() override {
    // The link closes before the board goes.
    recorder.reset();
    port.reset();
    session.reset();
    Recording::TearDown();
  }
  void Open() {
    given.pod = kBackend;
    given.simDir = (dir / board).string();
    given.dsp = 0;
    run = std::make_unique<cli::Invocation>(env, given);
    session = std::make_unique<cli::PodSession>(*run);
    ASSERT_EQ(session->Connect(), cli::kExitOk) << err.str();
    port = std::make_unique<PodLinkPort>(session->Link());
    const ProgramData demo = Demo(0);
    recorder = std::make_unique<Recorder>(*port, SymbolAddress(demo, "rec"));
    std::string error;
    ASSERT_TRUE(recorder->Probe(error)) << error;
    config.channels = {{"pass", SymbolAddress(demo, "pass"), RecType::Unsigned},
                       {"output", SymbolAddress(demo, "output"), RecType::Float}};
  }
  // Drains for `ms` of target time, waiting `pauseMs` after each drain.
  RecCapture Stream(uint32_t ms, uint32_t pauseMs) {
    RecCapture capture;
    std::string error;
    EXPECT_TRUE(recorder->Configure(config, error)) << error;
    EXPECT_TRUE(recorder->Arm());
    const uint64_t end = clock.NowUs() + uint64_t{ms} * 1000;
    while (clock.NowUs() < end) {
      size_t taken = 0;
      EXPECT_EQ(recorder->Drain(capture, taken), RecResult::Ok);
      Wait(taken ? pauseMs : 5);
    }
    // A drain that makes room, then a few samples more: every drop lies
    // between two samples the host has.
    size_t taken = 0;
    EXPECT_EQ(recorder->Drain(capture, taken), RecResult::Ok);
    Wait(5);
    EXPECT_TRUE(recorder->Stop());
    EXPECT_EQ(recorder->Drain(capture, taken), RecResult::Ok);
    return capture;
  }
  // Samples missing between the first and the last, from the pass counter.
  static uint64_t Missing(const RecCapture& c, uint32_t divider) {
    uint64_t missing = 0;
    for (size_t s = 1; s < c.Samples(); ++s) {
      const uint32_t step = c.Word(s, 0) - c.Word(s - 1, 0);
      EXPECT_EQ(step % divider, 0u);
      missing += step / divider - 1;
    }
    return missing;
  }

  cli::PodOptionValues given;
  std::unique_ptr<cli::Invocation> run;
  std::unique_ptr<cli::PodSession> session;
  std::unique_ptr<PodLinkPort> port;
  std::unique_ptr<Recorder> recorder;
  RecConfig config;
};

TEST_F(Streaming, AHostThatKeepsUpLosesNothingAndASlowOneIsToldWhatItLost) {
  Boot();
  Open();
  // 2 channels every 20th pass: 2,000 words a second, well within what the
  // wire carries; the ring holds 50 ms.
  config.continuous = true;
  config.divider = 20;
  config.samples = 50;
  const RecCapture kept = Stream(300, 0);
  EXPECT_EQ(kept.overruns, 0u);
  EXPECT_GT(kept.Samples(), 290u) << "about 300 in 300 ms";
  EXPECT_EQ(Missing(kept, 20), 0u);
  for (size_t s = 0; s < kept.Samples(); ++s) {
    const uint32_t w = kept.Word(s, 1);
    EXPECT_EQ(kept.Value(s, 1), c3x::SingleToDouble(w)) << "float decoded exactly";
  }

  // Pausing 80 ms after each drain lets the ring overflow: the drops are
  // counted, and the count is the holes in the pass sequence.
  const RecCapture slow = Stream(300, 80);
  EXPECT_GT(slow.overruns, 50u);
  EXPECT_EQ(Missing(slow, 20), slow.overruns);
  EXPECT_EQ(Board().State(), sim::BoardState::Running) << Board().HaltMessage();
}

TEST_F(Streaming, AnUploadRunsAtTheWiresPace) {
  Boot();
  Open();
  const ProgramData demo = Demo(0);
  config.channels.push_back({"setpoint", SymbolAddress(demo, "setpoint"), RecType::Float});
  config.channels.push_back({"command", SymbolAddress(demo, "command"), RecType::Float});
  config.samples = 2048;
  std::string error;
  ASSERT_TRUE(recorder->Configure(config, error)) << error;
  ASSERT_TRUE(recorder->Arm());
  Wait(150);
  RecStatus status;
  ASSERT_TRUE(recorder->Poll(status));
  ASSERT_EQ(status.state, rec::kDone);
  RecCapture capture;
  const uint64_t start = clock.NowUs();
  ASSERT_EQ(recorder->Upload(capture), RecResult::Ok);
  // Per word an S and a V command of 9 bytes, 10 bits a byte at 921,600 baud.
  const double bound = 8192 * 18 * 10 * 1e6 / 921600;
  EXPECT_LE(static_cast<double>(clock.NowUs() - start), 1.2 * bound);
  EXPECT_EQ(Missing(capture, 1), 0u);
}

TEST_F(Streaming, TheTriggerOfAFloatChannelFiresOnTheEdgeAsked) {
  Boot();
  Open();
  const ProgramData demo = Demo(0);
  config.channels.push_back({"setpoint", SymbolAddress(demo, "setpoint"), RecType::Float});
  const struct {
    RecEdge edge;
    double level;
    double before, at;
  } cases[] = {{RecEdge::Rising, 0.5, 0.0, 1.0},
               {RecEdge::Falling, 0.5, 1.0, 0.0},
               {RecEdge::Either, 0.25, -1, -1}};
  for (const auto& c : cases) {
    config.samples = 100;
    config.pretrigger = 10;
    config.trigger = RecTrigger{2, c.edge, c.level};
    std::string error;
    ASSERT_TRUE(recorder->Configure(config, error)) << error;
    ASSERT_TRUE(recorder->Arm());
    RecStatus status;
    for (int i = 0; i < 50 && recorder->Poll(status) && status.state != rec::kDone; ++i) Wait(10);
    ASSERT_EQ(status.state, rec::kDone);
    RecCapture capture;
    ASSERT_EQ(recorder->Upload(capture), RecResult::Ok);
    ASSERT_EQ(capture.triggerSample, std::optional<size_t>(10));
    const double before = capture.Value(9, 2), at = capture.Value(10, 2);
    if (c.before >= 0) {
      EXPECT_EQ(before, c.before);
      EXPECT_EQ(at, c.at);
    } else {
      EXPECT_NE(before, at);
    }
    EXPECT_EQ(Missing(capture, 1), 0u);
  }
}

}  // namespace
}  // namespace velmora::e2e
