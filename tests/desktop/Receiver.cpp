// The application desktop tests type and click into. It writes one line per input event it
// receives to a log file, flushed at once, so a test in another process can see exactly what
// reached an ordinary application.
//
//   tovrel-test-receiver --log FILE [--title TITLE] [--position X,Y]
//
// Lines (fields separated by single spaces; text percent-encoded, so it never holds a space):
//   key-press code=<X keycode> sym=0x<keysym> state=0x<X modifier state> repeat=<0|1> text=<text>
//   key-release ... (same fields)
//   mouse-press button=<X button> x=<local> y=<local> gx=<global> gy=<global>
//   mouse-release ... (same fields)
//   mouse-move x=<local> y=<local> gx=<global> gy=<global>
//   wheel dx=<angle delta x> dy=<angle delta y> x=<local> y=<local>
//   focus-in / focus-out
#include <QApplication>
#include <QByteArray>
#include <QCommandLineParser>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include <cstdio>

namespace {

// Qt numbers its buttons as bits; the log speaks X's button numbers so a test can compare them
// with what it posted.
int xButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return 1;
    case Qt::MiddleButton:
      return 2;
    case Qt::RightButton:
      return 3;
    default:
      break;
  }
  const auto bits = static_cast<unsigned>(button);
  int bit = 0;
  while (bit < 31 && (bits >> bit) != 1U)
    ++bit;
  return bit >= 3 ? bit + 5 : 0;  // Back (bit 3) is X button 8, and so on upwards.
}

class ReceiverWindow : public QWidget {
 public:
  explicit ReceiverWindow(QFile& log) : log_(log) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_KeyCompression, false);
    setMouseTracking(true);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override { logKey("key-press", event); }
  void keyReleaseEvent(QKeyEvent* event) override { logKey("key-release", event); }
  void mousePressEvent(QMouseEvent* event) override { logMouse("mouse-press", event); }
  void mouseReleaseEvent(QMouseEvent* event) override { logMouse("mouse-release", event); }
  void mouseDoubleClickEvent(QMouseEvent* event) override { logMouse("mouse-press", event); }
  void mouseMoveEvent(QMouseEvent* event) override {
    const QPoint local = event->position().toPoint();
    const QPoint global = event->globalPosition().toPoint();
    write(QStringLiteral("mouse-move x=%1 y=%2 gx=%3 gy=%4")
              .arg(local.x())
              .arg(local.y())
              .arg(global.x())
              .arg(global.y()));
  }

  void wheelEvent(QWheelEvent* event) override {
    const QPoint local = event->position().toPoint();
    write(QStringLiteral("wheel dx=%1 dy=%2 x=%3 y=%4")
              .arg(event->angleDelta().x())
              .arg(event->angleDelta().y())
              .arg(local.x())
              .arg(local.y()));
  }

  void focusInEvent(QFocusEvent*) override { write(QStringLiteral("focus-in")); }
  void focusOutEvent(QFocusEvent*) override { write(QStringLiteral("focus-out")); }

  // Tab and Backtab would otherwise move focus instead of arriving as keys.
  bool focusNextPrevChild(bool) override { return false; }

 private:
  void logKey(const char* kind, QKeyEvent* event) {
    const QByteArray text = event->text().toUtf8().toPercentEncoding();
    write(QStringLiteral("%1 code=%2 sym=0x%3 state=0x%4 repeat=%5 text=%6")
              .arg(QLatin1String(kind))
              .arg(event->nativeScanCode())
              .arg(event->nativeVirtualKey(), 0, 16)
              .arg(event->nativeModifiers(), 0, 16)
              .arg(event->isAutoRepeat() ? 1 : 0)
              .arg(QString::fromLatin1(text)));
  }

  void logMouse(const char* kind, QMouseEvent* event) {
    const QPoint local = event->position().toPoint();
    const QPoint global = event->globalPosition().toPoint();
    write(QStringLiteral("%1 button=%2 x=%3 y=%4 gx=%5 gy=%6")
              .arg(QLatin1String(kind))
              .arg(xButton(event->button()))
              .arg(local.x())
              .arg(local.y())
              .arg(global.x())
              .arg(global.y()));
  }

  void write(const QString& line) {
    log_.write(line.toUtf8() + '\n');
    log_.flush();
  }

  QFile& log_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Logs every key, mouse, wheel and focus event it receives."));
  parser.addHelpOption();
  const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Log file."),
                                     QStringLiteral("file"));
  const QCommandLineOption titleOption(QStringLiteral("title"), QStringLiteral("Window title."),
                                       QStringLiteral("title"), QStringLiteral("Tovrel receiver"));
  const QCommandLineOption positionOption(QStringLiteral("position"),
                                          QStringLiteral("Window position on the screen."),
                                          QStringLiteral("x,y"), QStringLiteral("100,100"));
  parser.addOptions({logOption, titleOption, positionOption});
  parser.process(app);

  if (!parser.isSet(logOption)) {
    std::fprintf(stderr, "tovrel-test-receiver: --log FILE is required\n");
    return 2;
  }
  QFile log(parser.value(logOption));
  if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
    std::fprintf(stderr, "tovrel-test-receiver: cannot open %s\n",
                 qPrintable(parser.value(logOption)));
    return 2;
  }
  const QStringList position = parser.value(positionOption).split(QLatin1Char(','));
  bool xOk = false;
  bool yOk = false;
  const int x = position.size() == 2 ? position[0].toInt(&xOk) : 0;
  const int y = position.size() == 2 ? position[1].toInt(&yOk) : 0;
  if (!xOk || !yOk) {
    std::fprintf(stderr, "tovrel-test-receiver: --position wants X,Y\n");
    return 2;
  }

  ReceiverWindow window(log);
  window.setWindowTitle(parser.value(titleOption));
  window.setGeometry(x, y, 400, 300);
  window.show();
  return app.exec();
}
