// Hex view cost with the whole 16 MiB program image loaded: one repaint of the
// visible rows (at the top, in the middle, at the end, scrolled sideways) and
// handing the image over, copied or shared. A repaint must not depend on how
// much data the view holds.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QPainter>

#include "widgets/HexEditBase.h"

using velmora::CHexEditBase;

namespace {

constexpr int kImageBytes = 16 * 1024 * 1024;

QByteArray Image() {
  QByteArray image(kImageBytes, '\0');
  for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 31 + (i >> 8));
  return image;
}

CHexEditBase& View() {
  static CHexEditBase* view = [] {
    auto* v = new CHexEditBase;
    v->SetAddressDigits(6, false);
    v->SetShowAddress(true, false);
    v->SetShowCharacters(true, false);
    v->SetBytesPerRow(8, true, false);
    v->resize(700, 400);
    v->show();
    v->SetData(Image(), true, 0);
    QCoreApplication::processEvents();
    return v;
  }();
  return *view;
}

void Paint(benchmark::State& state, int64_t topRow, int64_t offset) {
  CHexEditBase& view = View();
  view.SetTopRow(topRow);
  view.SetHorizontalOffset(offset);
  QImage target(view.viewport()->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    view.viewport()->render(&target);
    benchmark::DoNotOptimize(target.constBits());
  }
  state.counters["rows"] = view.Layout().rowsShown;
}

void BM_PaintTop(benchmark::State& state) {
  Paint(state, 0, 0);
}
void BM_PaintMiddle(benchmark::State& state) {
  Paint(state, View().Layout().lastTopRow / 2, 0);
}
void BM_PaintEnd(benchmark::State& state) {
  Paint(state, View().Layout().lastTopRow, 0);
}

void BM_PaintSingleRowHugeWidth(benchmark::State& state) {
  // One row holding a whole megabyte: only the visible groups are formatted.
  static CHexEditBase* view = [] {
    auto* v = new CHexEditBase;
    v->SetMultiLine(false, false);
    v->resize(700, 60);
    v->show();
    v->SetData(QByteArray(1024 * 1024, '\x5A'), true, 0);
    QCoreApplication::processEvents();
    return v;
  }();
  view->SetHorizontalOffset(view->Layout().lastHorizontalOffset / 2);
  QImage target(view->viewport()->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    view->viewport()->render(&target);
    benchmark::DoNotOptimize(target.constBits());
  }
}

void BM_SetDataCopy16MiB(benchmark::State& state) {
  const QByteArray image = Image();
  CHexEditBase view;
  for (auto _ : state) {
    view.SetData(reinterpret_cast<const uint8_t*>(image.constData()),
                 static_cast<uint32_t>(image.size()), false, 0);
    benchmark::DoNotOptimize(view.Data().constData());
  }
  state.SetBytesProcessed(state.iterations() * image.size());
}

void BM_SetDataShared16MiB(benchmark::State& state) {
  const QByteArray image = Image();
  CHexEditBase view;
  for (auto _ : state) {
    view.SetData(image, false, 0);
    benchmark::DoNotOptimize(view.Data().constData());
  }
}

BENCHMARK(BM_PaintTop)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintMiddle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintEnd)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintSingleRowHugeWidth)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetDataCopy16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetDataShared16MiB)->Unit(benchmark::kNanosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
