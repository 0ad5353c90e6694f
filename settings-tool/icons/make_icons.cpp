// SPDX-License-Identifier: MIT
// Draws the file-type icons the associations point at (avi.ico ... ram.ico) into
// the folder given, at build time: a tile coloured by kind with a film frame or a
// note, and the extension written across it.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

constexpr int kSize = 64;

enum class Kind { Video, Audio, Real };

struct Icon {
  const char* ext;
  Kind kind;
};

constexpr Icon kIcons[] = {
    {"avi", Kind::Video}, {"rm", Kind::Real},  {"mov", Kind::Video}, {"mid", Kind::Audio},
    {"mp3", Kind::Audio}, {"mpg", Kind::Video}, {"wav", Kind::Audio}, {"wma", Kind::Audio},
    {"rv", Kind::Real},   {"ra", Kind::Real},  {"ram", Kind::Real},
};

void drawFilm(QPainter& p, const QRectF& r) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 235));
  p.drawRoundedRect(r, 3, 3);
  p.setBrush(QColor(30, 30, 40));
  const double hole = r.height() / 7;
  for (int i = 0; i < 3; ++i) {
    double y = r.top() + hole * (1 + 2 * i);
    p.drawRect(QRectF(r.left() + hole * 0.6, y, hole, hole));
    p.drawRect(QRectF(r.right() - hole * 1.6, y, hole, hole));
  }
  // A play mark in the frame.
  QPainterPath play;
  QPointF c = r.center();
  play.moveTo(c.x() - hole, c.y() - hole * 1.4);
  play.lineTo(c.x() + hole * 1.5, c.y());
  play.lineTo(c.x() - hole, c.y() + hole * 1.4);
  play.closeSubpath();
  p.drawPath(play);
}

void drawNote(QPainter& p, const QRectF& r) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 240));
  const double u = r.height() / 8;
  QPointF head1(r.left() + r.width() * 0.3, r.bottom() - u * 1.4);
  QPointF head2(r.left() + r.width() * 0.72, r.bottom() - u * 2.2);
  p.drawEllipse(head1, u * 1.5, u * 1.1);
  p.drawEllipse(head2, u * 1.5, u * 1.1);
  double stem = u * 0.55;
  p.drawRect(QRectF(head1.x() + u * 1.5 - stem, r.top() + u * 1.6, stem, head1.y() - r.top() - u * 1.6));
  p.drawRect(QRectF(head2.x() + u * 1.5 - stem, r.top() + u * 0.8, stem, head2.y() - r.top() - u * 0.8));
  QPainterPath beam;
  beam.moveTo(head1.x() + u * 1.5 - stem, r.top() + u * 1.6);
  beam.lineTo(head2.x() + u * 1.5, r.top() + u * 0.8);
  beam.lineTo(head2.x() + u * 1.5, r.top() + u * 2.2);
  beam.lineTo(head1.x() + u * 1.5 - stem, r.top() + u * 3.0);
  beam.closeSubpath();
  p.drawPath(beam);
}

QImage render(const Icon& icon) {
  QImage img(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QColor top, bottom;
  switch (icon.kind) {
    case Kind::Video: top = QColor(0x3b, 0x7d, 0xd8); bottom = QColor(0x1d, 0x3f, 0x8f); break;
    case Kind::Audio: top = QColor(0x2f, 0xb3, 0x8a); bottom = QColor(0x16, 0x6b, 0x52); break;
    case Kind::Real: top = QColor(0xe0, 0x5a, 0x3a); bottom = QColor(0x8f, 0x2a, 0x1b); break;
  }
  QLinearGradient g(0, 0, 0, kSize);
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  p.setPen(QPen(bottom.darker(130), 1.5));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(2.5, 2.5, kSize - 5, kSize - 5), 10, 10);

  QRectF glyph(14, 8, kSize - 28, kSize * 0.45);
  if (icon.kind == Kind::Video || (icon.kind == Kind::Real && icon.ext[1] == 'v') ||
      (icon.kind == Kind::Real && icon.ext[1] == 'm' && icon.ext[2] == '\0'))
    drawFilm(p, glyph);
  else
    drawNote(p, glyph);

  QFont f(QStringLiteral("DejaVu Sans"));
  f.setBold(true);
  f.setPixelSize(15);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, kSize * 0.6, kSize, kSize * 0.34), Qt::AlignCenter,
             QString::fromLatin1(icon.ext).toUpper());
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
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(QStringLiteral("."))) return 1;
  for (const Icon& icon : kIcons) {
    QString file = dir.filePath(QString::fromLatin1(icon.ext) + QStringLiteral(".ico"));
    QImageWriter writer(file, "ico");
    if (!writer.write(render(icon))) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(writer.errorString()));
      return 1;
    }
  }
  return 0;
}
