// SPDX-License-Identifier: MIT
// A drag source for the drop test: a small window at a fixed place that starts a real
// drag of the files named on its command line when the mouse is pressed on it.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QList<QUrl> urls;
  for (int i = 1; i < argc; ++i) urls << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
  QPushButton source("drag");
  QObject::connect(&source, &QPushButton::pressed, [&] {
    auto* drag = new QDrag(&source);
    drag->setMimeData(new QMimeData);
    drag->mimeData()->setUrls(urls);
    drag->exec(Qt::CopyAction);
  });
  source.setGeometry(900, 700, 120, 120);
  source.show();
  return app.exec();
}
