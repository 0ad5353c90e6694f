// SPDX-License-Identifier: MIT
// A drag source for the drop test: a small window at a fixed place that starts a real
// drag of the files named on its command line when the mouse is pressed on it.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

namespace {

class Source : public QWidget {
 public:
  explicit Source(QList<QUrl> urls) : urls_(std::move(urls)) { setWindowTitle("korvane drag source"); }

 protected:
  void mousePressEvent(QMouseEvent*) override {
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setUrls(urls_);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
  }

 private:
  QList<QUrl> urls_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QList<QUrl> urls;
  for (int i = 1; i < argc; ++i) urls << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
  Source source(urls);
  source.setGeometry(900, 700, 120, 120);
  source.show();
  return app.exec();
}
