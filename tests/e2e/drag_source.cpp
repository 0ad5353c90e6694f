// SPDX-License-Identifier: MIT
// A drag source at (900, 700) that drags its arguments (paths, or encoded URLs) when pressed
// on; its exit status is the action the target took: 0 refused, 1 copied.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QByteArray uris;
  for (int i = 1; i < argc; ++i) {
    const QByteArray arg(argv[i]);
    uris += (arg.contains("://") ? arg : QUrl::fromLocalFile(QString::fromLocal8Bit(arg)).toEncoded()) + "\r\n";
  }
  QPushButton source("drag");
  QObject::connect(&source, &QPushButton::pressed, [&] {
    auto* drag = new QDrag(&source);
    auto* data = new QMimeData;
    data->setData("text/uri-list", uris);
    drag->setMimeData(data);
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    QMetaObject::invokeMethod(&app, [action] { QCoreApplication::exit(action == Qt::CopyAction ? 1 : 0); },
                              Qt::QueuedConnection);
  });
  source.setGeometry(900, 700, 120, 120);
  source.show();
  return app.exec();
}
