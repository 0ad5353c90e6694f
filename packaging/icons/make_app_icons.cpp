// SPDX-License-Identifier: MIT
// Draws the application icons at build time into <folder>/<size>/: korvane-rp3.png for
// the players (a keycap carrying a play mark: a player driven from the keyboard) and
// korvane-rp3-settings.png for the settings tool (the same keycap with sliders).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The keycap: a dark rim with a lighter, slightly raised top face; `u` = size / 32.
QRectF drawKeycap(QPainter& p, double u) {
  const QRectF rim(u * 1, u * 1.5, u * 30, u * 29.5);
  QLinearGradient rimFill(rim.topLeft(), rim.bottomLeft());
  rimFill.setColorAt(0, QColor(0x2a, 0x2f, 0x4a));
  rimFill.setColorAt(1, QColor(0x12, 0x14, 0x24));
  p.setPen(Qt::NoPen);
  p.setBrush(rimFill);
  p.drawRoundedRect(rim, u * 6, u * 6);
  const QRectF face(u * 3.5, u * 3, u * 25, u * 24);
  QLinearGradient faceFill(face.topLeft(), face.bottomLeft());
  faceFill.setColorAt(0, QColor(0x5b, 0x6c, 0xf0));
  faceFill.setColorAt(1, QColor(0x35, 0x3f, 0xb8));
  p.setBrush(faceFill);
  p.drawRoundedRect(face, u * 4.5, u * 4.5);
  return face;
}

void drawPlay(QPainter& p, const QRectF& face) {
  const double h = face.height() * 0.52;
  const QPointF c = face.center() + QPointF(h * 0.1, 0);  // a triangle looks centred a bit right
  QPainterPath play;
  play.moveTo(c.x() - h * 0.4, c.y() - h / 2);
  play.lineTo(c.x() + h * 0.5, c.y());
  play.lineTo(c.x() - h * 0.4, c.y() + h / 2);
  play.closeSubpath();
  p.setBrush(QColor(0xff, 0xff, 0xff));
  p.drawPath(play);
}

void drawSliders(QPainter& p, const QRectF& face, double u) {
  const double knobs[] = {0.7, 0.3, 0.55};
  for (int i = 0; i < 3; ++i) {
    const double y = face.top() + face.height() * (0.27 + 0.23 * i);
    const double left = face.left() + u * 4, right = face.right() - u * 4;
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawRoundedRect(QRectF(left, y - u * 0.9, right - left, u * 1.8), u * 0.9, u * 0.9);
    p.setBrush(QColor(0xff, 0xff, 0xff));
    p.drawEllipse(QPointF(left + (right - left) * knobs[i], y), u * 2.4, u * 2.4);
  }
}

QImage render(int size, bool settings) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const double u = size / 32.0;
  const QRectF face = drawKeycap(p, u);
  if (settings)
    drawSliders(p, face, u);
  else
    drawPlay(p, face);
  p.end();
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <icon folder>\n", argv[0]);
    return 2;
  }
  const QDir root(QString::fromLocal8Bit(argv[1]));
  for (int size : kSizes) {
    const QString dir = root.filePath(QString::number(size));
    if (!QDir().mkpath(dir)) return 1;
    for (bool settings : {false, true}) {
      const QString file = dir + (settings ? "/korvane-rp3-settings.png" : "/korvane-rp3.png");
      if (!render(size, settings).save(file, "png")) {
        std::fprintf(stderr, "%s: cannot write\n", qPrintable(file));
        return 1;
      }
    }
  }
  return 0;
}
