#pragma once

// The look at an import before it is applied: the translation's rows, what would change and the
// problems that forbid it, with Cancel and Apply. Apply commits the proposal through the model,
// so it is checked, saved with a backup and can be undone.

#include <QDialog>
#include <cstdint>
#include <functional>

#include "app/model/AppModel.hpp"
#include "app/settings/sheets/ImportReview.hpp"

class QPushButton;
class QTableWidget;
class QVBoxLayout;

namespace tovrel::settings {

class ImportReviewSheet : public QDialog {
 public:
  // Window-modal over `parent`'s window once open() is called; deletes itself when closed.
  // `close` runs when the sheet goes, after Apply or Cancel.
  ImportReviewSheet(AppModel& model, ImportReview review, std::function<void()> close,
                    QWidget* parent = nullptr);
  ~ImportReviewSheet() override;

  const ImportReview& review() const { return review_; }
  QPushButton* applyButton() const { return apply_; }
  QPushButton* cancelButton() const { return cancel_; }
  QTableWidget* table() const { return table_; }
  QStringList summaryLines() const;

 private:
  void refreshSummary();
  void fitHeight();
  void apply();

  AppModel& model_;
  ImportReview review_;
  std::function<void()> close_;
  QTableWidget* table_ = nullptr;
  QWidget* summary_ = nullptr;
  QVBoxLayout* summaryLayout_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* apply_ = nullptr;
  std::uint64_t observer_ = 0;
};

}  // namespace tovrel::settings
