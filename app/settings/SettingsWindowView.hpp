#pragma once

// The whole content of the settings window: the sidebar of pages on the left, the page the model
// names on the right and the change banner under it. The view keeps no state of its own: the page
// is the model's, and a page is made afresh each time it is selected, so its unsaved edits go
// with it.

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "app/model/AppModel.hpp"
#include "app/settings/Theme.hpp"

class QListWidget;
class QSplitter;
class QVBoxLayout;

namespace tovrel::settings {

class ChangeBanner;

// One sidebar row.
struct SidebarRow {
  SettingsPage page;
  int section;  // rows of one section stand together
  std::string_view symbol;
  Colour colour;
};

// The sidebar rows in order.
const std::array<SidebarRow, 5>& sidebarRows();

// Whether the sidebar's reported selection is written to the model: only a page that differs from
// the current one.
bool shouldWriteSelection(std::optional<SettingsPage> reported, SettingsPage current);

// "Tovrel — Moving": the window's title followed by the current page's.
QString settingsWindowTitle(SettingsPage page);

class SettingsWindowView : public QWidget {
 public:
  using PageFactory = std::function<QWidget*(SettingsPage)>;

  static constexpr int sidebarMinimum = 170;
  static constexpr int sidebarIdeal = 190;
  static constexpr int sidebarMaximum = 230;

  SettingsWindowView(AppModel& model, PageFactory makePage, QWidget* parent = nullptr);
  ~SettingsWindowView() override;

  // The page shown now.
  QWidget* page() const { return page_; }
  QListWidget* sidebar() const { return sidebar_; }
  ChangeBanner* banner() const { return banner_; }
  // Runs when the title to show changes (the page changed).
  std::function<void(const QString&)> onTitleChanged;

  void refresh();

 protected:
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void showPage(SettingsPage page);

  AppModel& model_;
  PageFactory makePage_;
  QListWidget* sidebar_ = nullptr;
  QVBoxLayout* detail_ = nullptr;
  QWidget* page_ = nullptr;
  std::optional<SettingsPage> shown_;
  ChangeBanner* banner_ = nullptr;
  std::uint64_t token_ = 0;
};

}  // namespace tovrel::settings
