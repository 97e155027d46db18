// A one-line label that paints its own background: one colour, or a fade from
// black on the left to the background colour at five sixths of the width.
#pragma once

#include <QColor>
#include <QLabel>
#include <QRect>
#include <QString>
#include <cstdint>
#include <vector>

namespace velmora {

// 0x00BBGGRR, the form in which the dialogs give their colours.
QColor ColorFromColorRef(uint32_t colorRef);

// One filled band of the faded background, x relative to the label's left edge.
struct FadeBand {
  int x = 0;
  int width = 0;
  QColor colour;
};

// The bands that make up a faded background `width` pixels wide, left to
// right: black, the darkening steps, then the plain background from the split.
std::vector<FadeBand> ComputeFadeBands(int width, const QColor& background);

class CColorLabel : public QLabel {
  Q_OBJECT

 public:
  explicit CColorLabel(QWidget* parent = nullptr);
  explicit CColorLabel(const QString& windowText, QWidget* parent = nullptr);

  void SetTextColor(const QColor& colour, bool drawText);
  void SetBkColor(const QColor& colour, bool drawText);
  void SetFade(bool on) { fade_ = on; }
  // The text drawn; when empty, the label's own (window) text is drawn.
  void SetLabelText(const QString& text) { labelText_ = text; }
  // Fits the painted rectangle to one line of text ("A" high).
  void SetAutoSize(bool on);

  QColor TextColor() const { return textColour_; }
  QColor BkColor() const { return backgroundColour_; }
  bool DrawsText() const { return drawText_; }
  bool IsFaded() const { return fade_; }
  QString LabelText() const { return labelText_; }
  // What a paint draws now: the stored text, else the window text.
  QString ShownText() const { return labelText_.isEmpty() ? text() : labelText_; }
  // The rectangle a paint fills.
  QRect PaintRect() const { return useStoredRect_ ? storedRect_ : rect(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ComputeStoredRect();

  QColor textColour_;
  QColor backgroundColour_;
  // A label never given a colour still shows its text.
  bool drawText_ = true;
  bool fade_ = false;
  bool useStoredRect_ = false;
  QString labelText_;
  QRect storedRect_;
};

}  // namespace velmora
