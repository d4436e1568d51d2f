#include "app/settings/sheets/FilePanels.hpp"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace tovrel::settings {

namespace {

class DialogPanels : public FilePanels {
 public:
  std::optional<std::string> chooseFileToOpen(QWidget* parent,
                                              const OpenRequest& request) override {
    QFileDialog dialog(parent, request.message,
                       request.startFolder.isEmpty() ? QDir::homePath() : request.startFolder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
  }

  std::optional<std::string> chooseFileToSave(QWidget* parent, const QString& fileName,
                                              const QStringList& filters) override {
    QFileDialog dialog(parent, QString(), QDir::homePath());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("json"));
    dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
  }

  void showError(QWidget* parent, const QString& text) override {
    QMessageBox::critical(parent, QString(), text);
  }
};

}  // namespace

FilePanels& FilePanels::standard() {
  static DialogPanels panels;
  return panels;
}

}  // namespace tovrel::settings
