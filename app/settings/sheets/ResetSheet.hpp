#pragma once

// The sheet that returns part of the configuration, or all of it, to the defaults: a scope, a
// summary of what would change, Cancel and Reset. The reset is an ordinary commit, so it can be
// undone; a reset the model refuses keeps the sheet open with the reasons.

#include <QDialog>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/model/AppModel.hpp"
#include "app/settings/sheets/ResetLogic.hpp"

class QAbstractButton;
class QPushButton;
class QVBoxLayout;

namespace tovrel::settings {

class ProblemList;

class ResetSheet : public QDialog {
 public:
  using Scope = ResetScope;

  static constexpr int sheetWidth = 460;

  // Window-modal over `parent`'s window once open() is called; deletes itself when closed.
  // `close` runs when the sheet goes, whichever way.
  ResetSheet(AppModel& model, std::function<void()> close, QWidget* parent = nullptr,
             Scope scope = Scope::cursor);
  ~ResetSheet() override;

  Scope scope() const { return scope_; }
  void setScope(Scope scope);
  QPushButton* resetButton() const { return reset_; }
  QPushButton* cancelButton() const { return cancel_; }
  QStringList summaryLines() const;
  QStringList problems() const;

 private:
  void refresh();
  void confirm();
  void fitHeight();

  AppModel& model_;
  std::function<void()> close_;
  Scope scope_;
  std::vector<QAbstractButton*> choices_;
  QWidget* summary_ = nullptr;
  QVBoxLayout* summaryLayout_ = nullptr;
  ProblemList* problems_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* reset_ = nullptr;
  std::uint64_t observer_ = 0;
};

}  // namespace tovrel::settings
