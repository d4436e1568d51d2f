#pragma once

// The bar under the page that reports the last commit: a change taken, with Undo, or the sentence
// of one refused, with a warning sign. It shows while the model has a change text and takes no
// space otherwise.

#include <QWidget>
#include <cstdint>
#include <optional>

#include "app/model/AppModel.hpp"
#include "app/settings/controls/BannerDismissal.hpp"

class QLabel;
class QPushButton;
class QToolButton;

namespace tovrel::settings {

class ChangeBanner : public QWidget {
 public:
  explicit ChangeBanner(AppModel& model, QWidget* parent = nullptr);
  ~ChangeBanner() override;

  void refresh();
  // The banner left the screen with its window: a change still on show is dismissed.
  void tornDown();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void restyle();
  std::optional<std::uint64_t> currentChange() const;

  AppModel& model_;
  BannerDismissal dismissal_;
  QLabel* check_ = nullptr;
  QLabel* text_ = nullptr;
  QPushButton* undo_ = nullptr;
  QToolButton* dismiss_ = nullptr;
  QString full_;
  std::uint64_t token_ = 0;
};

}  // namespace tovrel::settings
