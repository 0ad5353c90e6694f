// SPDX-License-Identifier: MIT
// The smallest player on our engine, for the engine benchmark: one window with the picture
// (RealAudio1) and the control panel (RealAudio2), playing the file given. The entry
// player takes its place once it exists.
//
// bench_player [--null-audio] [--width=PX --height=PX] <path>
#include "player/media/MediaSet.h"

#include <QApplication>
#include <QWidget>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");  // after the application object: libmpv needs "C"

  korvane::media::EngineOptions options;
  int width = 1280, height = 720;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--null-audio") == 0) options.nullAudio = true;
    else if (std::strncmp(argv[i], "--width=", 8) == 0) width = std::atoi(argv[i] + 8);
    else if (std::strncmp(argv[i], "--height=", 9) == 0) height = std::atoi(argv[i] + 9);
    else path = argv[i];
  }
  if (path.empty()) {
    std::fprintf(stderr, "usage: bench_player [--null-audio] [--width=PX --height=PX] <path>\n");
    return 2;
  }

  QWidget form;
  QPalette black = form.palette();
  black.setColor(QPalette::Window, Qt::black);
  form.setPalette(black);
  korvane::media::MediaSet media(&form, true, options);
  // The picture at the clip's size, the panel under it, as a layout pass would place them.
  constexpr double kTwips = 15;
  media.RealAudio1().SetWidth(width * kTwips);
  media.RealAudio1().SetHeight(height * kTwips);
  media.RealAudio2()->SetTop(height * kTwips - 15);
  media.RealAudio2()->SetWidth(width * kTwips);
  form.setGeometry(0, 0, width, height + 25);
  // As the player does: the source is set by the load handler, before the window shows.
  media.RealAudio1().SetSourceUrl("file://" + path);
  form.show();
  return app.exec();
}
