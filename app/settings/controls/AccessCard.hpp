#pragma once

// The orange card over a mode's settings, and on the General page, while Tovrel cannot read the
// keyboard or the controls of other applications: why, and the two things that help. It hides
// itself while nothing is wrong.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/model/AppModel.hpp"
#include "app/settings/controls/ReadinessWatch.hpp"

class QBoxLayout;
class QLabel;
class QPushButton;

namespace tovrel::settings {

class AccessCard : public QWidget {
 public:
  // `openSettings` switches the desktop's accessibility on and answers a sentence when it could
  // not.
  AccessCard(AppModel& model, std::function<std::optional<std::string>()> openSettings,
             QWidget* parent = nullptr);
  ~AccessCard() override;

  void refresh();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The row when title and buttons fit side by side, else the column.
  void arrange();
  int rowWidth() const;

  AppModel& model_;
  std::function<std::optional<std::string>()> openSettings_;
  std::optional<std::string> problem_;
  QBoxLayout* arrangement_ = nullptr;
  QWidget* heading_ = nullptr;
  QLabel* symbol_ = nullptr;
  QLabel* title_ = nullptr;
  QWidget* buttons_ = nullptr;
  QPushButton* open_ = nullptr;
  QPushButton* check_ = nullptr;
  QLabel* problemLine_ = nullptr;
  bool secure_ = false;
  std::unique_ptr<ReadinessWatch> watch_;
};

}  // namespace tovrel::settings
