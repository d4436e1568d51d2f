// A window with a chosen number of accessible nodes, all on screen, for measuring discovery:
//   tovrel-bench-window --nodes N
// Panels in a grid, each holding small labels, and one button per panel: the walk has to visit
// every node, while the targets stay well under the label budget.
#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>

int main(int argc, char** argv) {
  qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
  qputenv("QT_SCALE_FACTOR", "1");
  QApplication app(argc, argv);
  int nodes = 5000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (QByteArray(argv[i]) == "--nodes") nodes = std::max(2, std::atoi(argv[i + 1]));
  }

  constexpr int panels = 50;
  const int perPanel = std::max(1, (nodes - 1) / panels - 1);  // labels per panel
  QWidget window;
  window.setWindowTitle("Tovrel bench window");
  window.setGeometry(10, 30, 1240, 740);
  auto* grid = new QGridLayout(&window);
  grid->setSpacing(2);
  grid->setContentsMargins(2, 2, 2, 2);
  const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(perPanel))));
  for (int p = 0; p < panels; ++p) {
    auto* panel = new QFrame(&window);
    auto* inner = new QGridLayout(panel);
    inner->setSpacing(0);
    inner->setContentsMargins(0, 0, 0, 0);
    auto* button = new QPushButton(QString("Panel %1").arg(p + 1), panel);
    inner->addWidget(button, 0, 0, 1, columns);
    for (int l = 0; l < perPanel; ++l) {
      auto* label = new QLabel(QString::number(l % 10), panel);
      label->setMinimumSize(5, 5);
      inner->addWidget(label, 1 + l / columns, l % columns);
    }
    grid->addWidget(panel, p / 10, p % 10);
  }
  window.show();
  window.raise();
  window.activateWindow();
  return QApplication::exec();
}
