// Draws the program's pictures (toolbar strip, status lamps, erase animation,
// user-tool dialog icons, application icon) into src/resources/images.
// Not part of the build: run it by hand after changing a picture, e.g.
//   g++ -std=c++20 -fPIC $(pkg-config --cflags Qt6Gui) src/resources/tools/make_images.cpp \
//       $(pkg-config --libs Qt6Gui) -o /tmp/make_images && \
//   QT_QPA_PLATFORM=offscreen /tmp/make_images src/resources/images
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// Icons are drawn on a 64 x 64 canvas and scaled down to 16 x 16, which
// gives smooth edges without hand-placing pixels.
constexpr int kCanvas = 64;
using Painter = std::function<void(QPainter&)>;

QImage Render(const Painter& paint, int size) {
  QImage big(kCanvas, kCanvas, QImage::Format_ARGB32_Premultiplied);
  big.fill(Qt::transparent);
  {
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
  }
  return big.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

const QColor kOutline(40, 40, 40);

void Page(QPainter& p, QRectF r, QColor fill = QColor(250, 250, 250)) {
  QPainterPath path;
  const double fold = r.width() * 0.3;
  path.moveTo(r.left(), r.top());
  path.lineTo(r.right() - fold, r.top());
  path.lineTo(r.right(), r.top() + fold);
  path.lineTo(r.right(), r.bottom());
  path.lineTo(r.left(), r.bottom());
  path.closeSubpath();
  p.setPen(QPen(kOutline, 3));
  p.setBrush(fill);
  p.drawPath(path);
  p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
  p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void Folder(QPainter& p, QRectF r) {
  p.setPen(QPen(QColor(120, 90, 10), 3));
  p.setBrush(QColor(240, 200, 70));
  QPainterPath back;
  back.moveTo(r.left(), r.bottom());
  back.lineTo(r.left(), r.top() + r.height() * 0.15);
  back.lineTo(r.left() + r.width() * 0.35, r.top() + r.height() * 0.15);
  back.lineTo(r.left() + r.width() * 0.45, r.top() + r.height() * 0.3);
  back.lineTo(r.right() - r.width() * 0.1, r.top() + r.height() * 0.3);
  back.lineTo(r.right() - r.width() * 0.1, r.bottom());
  back.closeSubpath();
  p.drawPath(back);
  p.setBrush(QColor(255, 225, 110));
  QPainterPath front;
  front.moveTo(r.left(), r.bottom());
  front.lineTo(r.left() + r.width() * 0.15, r.top() + r.height() * 0.45);
  front.lineTo(r.right(), r.top() + r.height() * 0.45);
  front.lineTo(r.right() - r.width() * 0.12, r.bottom());
  front.closeSubpath();
  p.drawPath(front);
}

void Letter(QPainter& p, QRectF r, const QString& text, QColor colour, int pixel = 30) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setBold(true);
  f.setPixelSize(pixel);
  p.setFont(f);
  p.setPen(colour);
  p.drawText(r, Qt::AlignCenter, text);
}

void Arrow(QPainter& p, QPointF from, QPointF to, QColor colour, double width = 8) {
  const QPointF d = to - from;
  const double len = std::hypot(d.x(), d.y());
  const QPointF u = d / len, n(-u.y(), u.x());
  const double head = width * 2.0;
  QPainterPath path;
  const QPointF base = to - u * head;
  path.moveTo(from + n * width / 2);
  path.lineTo(base + n * width / 2);
  path.lineTo(base + n * head * 0.9);
  path.lineTo(to);
  path.lineTo(base - n * head * 0.9);
  path.lineTo(base - n * width / 2);
  path.lineTo(from - n * width / 2);
  path.closeSubpath();
  p.setPen(QPen(colour.darker(160), 2));
  p.setBrush(colour);
  p.drawPath(path);
}

void Chip(QPainter& p, QRectF r) {
  p.setPen(QPen(QColor(150, 150, 150), 3));
  for (int i = 0; i < 4; ++i) {
    const double y = r.top() + r.height() * (0.2 + 0.2 * i);
    p.drawLine(QPointF(r.left() - 6, y), QPointF(r.left(), y));
    p.drawLine(QPointF(r.right(), y), QPointF(r.right() + 6, y));
  }
  p.setPen(QPen(kOutline, 3));
  p.setBrush(QColor(60, 60, 70));
  p.drawRoundedRect(r, 3, 3);
  p.setBrush(QColor(200, 200, 200));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(r.left() + 6, r.top() + 6), 2.5, 2.5);
}

void Check(QPainter& p, QPointF at, double s) {
  QPainterPath path;
  path.moveTo(at + QPointF(0, s * 0.5));
  path.lineTo(at + QPointF(s * 0.35, s * 0.85));
  path.lineTo(at + QPointF(s, 0));
  p.setPen(QPen(QColor(255, 255, 255), 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
  p.setPen(QPen(QColor(20, 150, 40), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(path);
}

void Screen(QPainter& p, QColor trace, const QString& tag) {
  p.setPen(QPen(kOutline, 3));
  p.setBrush(QColor(30, 40, 40));
  p.drawRoundedRect(QRectF(4, 8, 56, 42), 4, 4);
  p.setBrush(QColor(150, 150, 150));
  p.drawRect(QRectF(24, 50, 16, 6));
  p.drawRect(QRectF(14, 56, 36, 5));
  QPainterPath wave;
  for (int x = 0; x <= 46; ++x) {
    const QPointF pt(9 + x, 29 - 11 * std::sin(x / 46.0 * 2 * M_PI));
    x ? wave.lineTo(pt) : wave.moveTo(pt);
  }
  p.setPen(QPen(trace, 4));
  p.setBrush(Qt::NoBrush);
  p.drawPath(wave);
  Letter(p, QRectF(30, 26, 30, 24), tag, QColor(255, 255, 255), 22);
}

void Gear(QPainter& p, QPointF c, double outer, double inner, QColor colour) {
  QPainterPath path;
  const int teeth = 8;
  for (int i = 0; i < teeth * 2; ++i) {
    const double a0 = i * M_PI / teeth, a1 = (i + 1) * M_PI / teeth;
    const double r = (i % 2) ? inner : outer;
    const QPointF p0 = c + QPointF(std::cos(a0 + 0.08) * r, std::sin(a0 + 0.08) * r);
    const QPointF p1 = c + QPointF(std::cos(a1 - 0.08) * r, std::sin(a1 - 0.08) * r);
    i ? path.lineTo(p0) : path.moveTo(p0);
    path.lineTo(p1);
  }
  path.closeSubpath();
  path.addEllipse(c, inner * 0.4, inner * 0.4);
  path.setFillRule(Qt::OddEvenFill);
  p.setPen(QPen(colour.darker(170), 3));
  p.setBrush(colour);
  p.drawPath(path);
}

void Wrench(QPainter& p, QColor colour) {
  p.save();
  p.translate(32, 32);
  p.rotate(45);
  p.setPen(QPen(colour.darker(170), 3));
  p.setBrush(colour);
  QPainterPath path;
  path.addRoundedRect(QRectF(-5, -8, 10, 36), 4, 4);
  QPainterPath head;
  head.addEllipse(QPointF(0, -16), 13, 13);
  QPainterPath jaw;
  jaw.addRect(QRectF(-5, -32, 10, 16));
  path = path.united(head).subtracted(jaw);
  p.drawPath(path);
  p.restore();
}

void ToolBox(QPainter& p, int n) {
  p.setPen(QPen(QColor(110, 30, 20), 3));
  p.setBrush(QColor(205, 60, 45));
  p.drawRoundedRect(QRectF(4, 22, 56, 36), 4, 4);
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(22, 12, 20, 12), 3, 3);
  p.drawLine(QPointF(4, 34), QPointF(60, 34));
  Letter(p, QRectF(4, 28, 56, 32), QString::number(n), QColor(255, 255, 255), 28);
}

QImage ToolbarStrip() {
  // In toolbar order, without separators.
  const std::vector<Painter> icons = {
      [](QPainter& p) { Folder(p, QRectF(4, 10, 56, 46)); },  // Open COFF File
      [](QPainter& p) {                                       // Reload COFF File
        Page(p, QRectF(8, 4, 40, 54));
        p.setPen(QPen(QColor(20, 140, 40), 7, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(22, 24, 36, 36), 60 * 16, 270 * 16);
        Arrow(p, QPointF(46, 26), QPointF(58, 30), QColor(20, 160, 40), 6);
      },
      [](QPainter& p) {  // Open Symbol File
        Page(p, QRectF(16, 2, 42, 50));
        Letter(p, QRectF(18, 6, 36, 32), QStringLiteral("S"), QColor(30, 70, 200));
        Folder(p, QRectF(2, 34, 34, 28));
      },
      [](QPainter& p) {  // Save Symbol File
        p.setPen(QPen(kOutline, 3));
        p.setBrush(QColor(50, 90, 190));
        p.drawRoundedRect(QRectF(6, 6, 52, 52), 4, 4);
        p.setBrush(QColor(235, 235, 235));
        p.drawRect(QRectF(16, 6, 32, 20));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(18, 38, 28, 20));
        Letter(p, QRectF(16, 4, 32, 24), QStringLiteral("S"), QColor(30, 70, 200), 20);
      },
      [](QPainter& p) { Screen(p, QColor(80, 230, 80), QStringLiteral("V")); },
      [](QPainter& p) { Screen(p, QColor(240, 200, 60), QStringLiteral("A")); },
      [](QPainter& p) {  // Target Reset
        p.setPen(QPen(QColor(200, 30, 30), 8, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(10, 12, 44, 44), 120 * 16, 300 * 16);
        p.drawLine(QPointF(32, 6), QPointF(32, 32));
      },
      [](QPainter& p) {  // Rom Boot: write into flash
        Chip(p, QRectF(12, 28, 40, 32));
        Arrow(p, QPointF(32, 0), QPointF(32, 34), QColor(220, 50, 40));
      },
      [](QPainter& p) {  // Rom Boot & Verify
        Chip(p, QRectF(12, 28, 40, 32));
        Arrow(p, QPointF(22, 0), QPointF(22, 34), QColor(220, 50, 40));
        Check(p, QPointF(30, 8), 30);
      },
      [](QPainter& p) {  // Rom Read
        Chip(p, QRectF(12, 28, 40, 32));
        Arrow(p, QPointF(32, 34), QPointF(32, 0), QColor(40, 110, 220));
      },
      [](QPainter& p) {  // Serial Boot
        p.setPen(QPen(kOutline, 3));
        p.setBrush(QColor(60, 60, 70));
        p.drawRoundedRect(QRectF(34, 14, 26, 36), 3, 3);
        Arrow(p, QPointF(0, 32), QPointF(40, 32), QColor(30, 170, 60));
      },
      [](QPainter& p) {  // Serial Boot & Verify
        p.setPen(QPen(kOutline, 3));
        p.setBrush(QColor(60, 60, 70));
        p.drawRoundedRect(QRectF(34, 14, 26, 36), 3, 3);
        Arrow(p, QPointF(0, 22), QPointF(40, 22), QColor(30, 170, 60));
        Check(p, QPointF(14, 30), 28);
      },
      [](QPainter& p) { Gear(p, QPointF(32, 32), 28, 20, QColor(150, 160, 175)); },
      [](QPainter& p) { Wrench(p, QColor(160, 170, 185)); },
      [](QPainter& p) {  // About
        p.setPen(QPen(QColor(20, 50, 140), 3));
        p.setBrush(QColor(50, 110, 220));
        p.drawEllipse(QRectF(4, 4, 56, 56));
        Letter(p, QRectF(4, 4, 56, 56), QStringLiteral("?"), QColor(255, 255, 255), 42);
      },
      [](QPainter& p) { ToolBox(p, 1); },
      [](QPainter& p) { ToolBox(p, 2); },
      [](QPainter& p) { ToolBox(p, 3); },
      [](QPainter& p) { ToolBox(p, 4); },
      [](QPainter& p) { ToolBox(p, 5); },
  };
  QImage strip(16 * static_cast<int>(icons.size()), 16, QImage::Format_ARGB32);
  strip.fill(Qt::transparent);
  QPainter p(&strip);
  for (size_t i = 0; i < icons.size(); ++i)
    p.drawImage(static_cast<int>(i) * 16, 0, Render(icons[i], 16));
  return strip;
}

// Two 15 x 15 lamps side by side, on a transparent ground.
QImage Lamps(bool on) {
  QImage img(30, 15, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < 2; ++i) {
    const QPointF c(7.5 + 15 * i, 7.5);
    QRadialGradient g(c - QPointF(2, 2), 7);
    g.setColorAt(0, on ? QColor(200, 255, 190) : QColor(235, 235, 235));
    g.setColorAt(0.5, on ? QColor(40, 210, 40) : QColor(160, 160, 160));
    g.setColorAt(1, on ? QColor(10, 110, 10) : QColor(90, 90, 90));
    p.setPen(QPen(QColor(50, 50, 50), 1));
    p.setBrush(g);
    p.drawEllipse(c, 6.5, 6.5);
  }
  return img;
}

// 23 frames of 150 x 13 stacked vertically: a light sweeping over a row of
// cells, as flash cells being cleared.
QImage EraseAnimation() {
  const int frames = 23, w = 150, h = 13;
  QImage img(w, h * frames, QImage::Format_RGB888);
  QPainter p(&img);
  for (int f = 0; f < frames; ++f) {
    const int top = f * h;
    p.fillRect(0, top, w, h, QColor(212, 208, 200));
    p.fillRect(1, top + 1, w - 2, h - 2, QColor(255, 255, 255));
    const double sweep = -30.0 + (w + 60.0) * f / frames;
    for (int cell = 0; cell < 15; ++cell) {
      const int x = 3 + cell * 10;
      const double dist = std::abs(x + 4 - sweep);
      const double glow = std::max(0.0, 1.0 - dist / 30.0);
      const bool erased = x + 4 < sweep;
      QColor c = erased ? QColor(180, 200, 235) : QColor(20, 60, 160);
      c = QColor(static_cast<int>(c.red() + (255 - c.red()) * glow * 0.8),
                 static_cast<int>(c.green() + (255 - c.green()) * glow * 0.8),
                 static_cast<int>(c.blue() + (255 - c.blue()) * glow * 0.3));
      p.fillRect(x, top + 3, 8, h - 6, c);
    }
  }
  return img;
}

QImage AppIcon(int size) {
  return Render(
      [](QPainter& p) {
        Chip(p, QRectF(10, 8, 44, 48));
        QLinearGradient g(0, 8, 0, 56);
        g.setColorAt(0, QColor(60, 120, 230));
        g.setColorAt(1, QColor(20, 50, 140));
        p.setPen(QPen(QColor(10, 30, 90), 2));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(10, 8, 44, 48), 5, 5);
        Letter(p, QRectF(10, 8, 44, 48), QStringLiteral("V"), QColor(255, 255, 255), 36);
      },
      size);
}

bool Save(const QImage& img, const QString& dir, const char* name) {
  const QString path = QDir(dir).filePath(QString::fromLatin1(name));
  if (!img.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(dir);
  bool ok = Save(ToolbarStrip(), dir, "toolbar.png") && Save(Lamps(false), dir, "lamp_off.png") &&
            Save(Lamps(true), dir, "lamp_on.png") &&
            Save(EraseAnimation(), dir, "erase_animation.png") &&
            Save(AppIcon(16), dir, "velmora_16.png") && Save(AppIcon(32), dir, "velmora_32.png") &&
            Save(AppIcon(64), dir, "velmora_64.png");
  // The user-tool dialog's buttons: add, replace, delete, up, down.
  ok = ok &&
       Save(Render(
                [](QPainter& p) {
                  p.setPen(QPen(QColor(20, 110, 30), 3));
                  p.setBrush(QColor(60, 190, 70));
                  p.drawRect(QRectF(26, 6, 12, 52));
                  p.drawRect(QRectF(6, 26, 52, 12));
                },
                16),
            dir, "tool_add.png") &&
       Save(Render(
                [](QPainter& p) {
                  Arrow(p, QPointF(4, 20), QPointF(60, 20), QColor(40, 110, 220), 7);
                  Arrow(p, QPointF(60, 44), QPointF(4, 44), QColor(40, 110, 220), 7);
                },
                16),
            dir, "tool_replace.png") &&
       Save(Render(
                [](QPainter& p) {
                  p.setPen(QPen(QColor(200, 30, 30), 11, Qt::SolidLine, Qt::RoundCap));
                  p.drawLine(QPointF(12, 12), QPointF(52, 52));
                  p.drawLine(QPointF(52, 12), QPointF(12, 52));
                },
                16),
            dir, "tool_delete.png") &&
       Save(Render(
                [](QPainter& p) {
                  Arrow(p, QPointF(32, 60), QPointF(32, 4), QColor(40, 110, 220), 14);
                },
                16),
            dir, "tool_up.png") &&
       Save(Render(
                [](QPainter& p) {
                  Arrow(p, QPointF(32, 4), QPointF(32, 60), QColor(40, 110, 220), 14);
                },
                16),
            dir, "tool_down.png");
  return ok ? 0 : 1;
}
