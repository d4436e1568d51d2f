#pragma once

// The "General" page: the access card while Tovrel cannot hear the keyboard, starting at login, the
// status icon, the applications Tovrel stays out of, import, export and reset of the whole
// configuration, and the storage note while the settings file is in trouble. Imports are never
// applied here: the import review sheet applies or discards them.

#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/controls/Form.hpp"
#include "app/settings/pages/PageContext.hpp"
#include "app/settings/sheets/ImportReview.hpp"
#include "app/settings/sheets/ImportReviewSheet.hpp"
#include "app/settings/sheets/ResetSheet.hpp"
#include "platform/LoginItems.hpp"
#include "platform/Workspace.hpp"

class QMenu;
class QToolButton;
class QPushButton;

namespace tovrel::settings {

class AccessCard;
class FilePanels;
class SettingToggle;

class GeneralPage : public FormPage {
 public:
  explicit GeneralPage(const PageContext& context, QWidget* parent = nullptr);
  ~GeneralPage() override;

  // The applications the "Add App…" menu offers now.
  std::vector<platform::RunningApplication> runningApps() const;
  // The three file operations: each asks for a file first and does nothing when cancelled.
  void importSettings();
  void importMouseless();
  void exportSettings();
  // Presents the reset sheet, its scope at the first scope.
  void showReset();

  // Switches the login item as the user would.
  void setLaunchAtLogin(bool on);

  QMenu* addAppMenu() const { return addAppMenu_; }
  ImportReviewSheet* importSheet() const { return importSheet_; }
  ResetSheet* resetSheet() const { return resetSheet_; }
  // The ids of the rows shown under "Turned off in", in order.
  std::vector<std::string> excludedRows() const;

 protected:
  bool event(QEvent* event) override;

 private:
  class NoEntries;

  void buildLoginSection();
  void buildExclusionSection();
  void buildFileSection();
  void refreshLogin();
  void refreshExclusions();
  void refreshStorage();
  void fillAddAppMenu();
  void presentReview(ImportReview review);
  // Runs `edit` once the control that asked for it has finished its own signal: the rows are
  // rebuilt on the change and may take that control with them.
  void later(std::function<void()> edit);

  AppModel& model_;
  platform::DesktopEntryServices* entries_;
  std::unique_ptr<NoEntries> noEntries_;
  FilePanels& panels_;

  platform::LoginItemServices::Status loginStatus_ =
      platform::LoginItemServices::Status::notRegistered;
  std::optional<std::string> loginError_;

  AccessCard* accessCard_ = nullptr;
  SwitchButton* loginSwitch_ = nullptr;
  QWidget* approvalHint_ = nullptr;
  QLabel* loginErrorLine_ = nullptr;
  FormSection* exclusions_ = nullptr;
  std::vector<std::pair<std::string, QWidget*>> exclusionRows_;
  QWidget* addAppRow_ = nullptr;
  QMenu* addAppMenu_ = nullptr;
  FormSection* storageSection_ = nullptr;
  QLabel* storageText_ = nullptr;
  QPointer<ImportReviewSheet> importSheet_;
  QPointer<ResetSheet> resetSheet_;
  std::uint64_t observer_ = 0;
};

}  // namespace tovrel::settings
