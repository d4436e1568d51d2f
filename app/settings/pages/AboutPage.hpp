#pragma once

// The last settings page: the program's name and version, whether Tovrel may read the keyboard,
// who holds secure input, the ways to grant access, and a button that copies the diagnostic report
// for a support request to the clipboard.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/settings/controls/Form.hpp"
#include "app/settings/controls/ReadinessWatch.hpp"
#include "app/settings/pages/PageContext.hpp"

class QPushButton;

namespace tovrel::settings {

class StatusLine;

class AboutPage : public FormPage {
 public:
  explicit AboutPage(const PageContext& context);
  ~AboutPage() override;

  StatusLine* accessLine() const { return access_; }
  StatusLine* secureInputLine() const { return secure_; }
  QPushButton* openButton() const { return open_; }
  QPushButton* checkButton() const { return check_; }
  QPushButton* copyButton() const { return copy_; }

 private:
  void refresh();
  // Builds the report from the state now and puts it on the clipboard.
  void copyReport();

  AppModel& model_;
  std::function<std::optional<std::string>()> openSettings_;
  // Why the desktop did not switch accessibility on, until the state changes or Check Again.
  std::optional<std::string> openProblem_;
  bool copied_ = false;
  StatusLine* access_ = nullptr;
  StatusLine* secure_ = nullptr;
  QWidget* actions_ = nullptr;
  QPushButton* open_ = nullptr;
  QPushButton* check_ = nullptr;
  QPushButton* copy_ = nullptr;
  ThemedLabel* problem_ = nullptr;
  std::unique_ptr<ReadinessWatch> watch_;
};

}  // namespace tovrel::settings
