#include "widgets/ColorLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace velmora {

QColor ColorFromColorRef(uint32_t colorRef) {
  return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

std::vector<FadeBand> ComputeFadeBands(int width, const QColor& background) {
  std::vector<FadeBand> bands;
  if (width <= 0) return bands;
  const int split = width * 5 / 6;
  const int step = std::max(1, split / 64);
  const int64_t splitSquared = int64_t{split} * split;
  const int channels[3] = {background.red(), background.green(), background.blue()};

  std::vector<FadeBand> steps;
  int x = split;
  int64_t d = 0;
  while (x > step) {
    x -= step;
    d += step;
    int c[3];
    for (int i = 0; i < 3; ++i)
      c[i] = static_cast<int>(channels[i] - (d * d * channels[i]) / splitSquared);
    steps.push_back({x, step, QColor(c[0], c[1], c[2])});
  }
  if (x > 0) bands.push_back({0, x, QColor(0, 0, 0)});
  bands.insert(bands.end(), steps.rbegin(), steps.rend());
  if (width > split) bands.push_back({split, width - split, background});
  return bands;
}

CColorLabel::CColorLabel(QWidget* parent) : CColorLabel(QString(), parent) {}

CColorLabel::CColorLabel(const QString& windowText, QWidget* parent)
    : QLabel(windowText, parent),
      textColour_(palette().color(QPalette::WindowText)),
      backgroundColour_(palette().color(QPalette::Base)) {}

void CColorLabel::SetTextColor(const QColor& colour, bool drawText) {
  textColour_ = colour;
  drawText_ = drawText;
}

void CColorLabel::SetBkColor(const QColor& colour, bool drawText) {
  backgroundColour_ = colour;
  drawText_ = drawText;
}

void CColorLabel::SetAutoSize(bool on) {
  if (!on) return;
  useStoredRect_ = true;
  ComputeStoredRect();
}

void CColorLabel::ComputeStoredRect() {
  const QFontMetrics fm(font());
  const int letterWidth = fm.horizontalAdvance(QLatin1Char('A'));
  const int letterHeight = fm.height();
  QRect r = rect();
  if (letterHeight > r.height()) r.setHeight(letterHeight);
  const int textWidth = letterWidth * static_cast<int>(ShownText().size());
  if (textWidth > r.width()) r.setWidth(textWidth);
  storedRect_ = r;
}

void CColorLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  // Layouts size the label after it was configured; keep the stored
  // rectangle in step with the real one.
  if (useStoredRect_) ComputeStoredRect();
}

void CColorLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect r = PaintRect();
  if (fade_) {
    for (const FadeBand& band : ComputeFadeBands(r.width(), backgroundColour_))
      painter.fillRect(QRect(r.left() + band.x, r.top(), band.width, r.height()), band.colour);
  } else {
    painter.fillRect(r, backgroundColour_);
  }
  if (!drawText_) return;
  painter.setClipRect(r);
  painter.setPen(textColour_);
  painter.drawText(r.adjusted(2, 2, -2, -2), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   ShownText());
}

}  // namespace velmora
