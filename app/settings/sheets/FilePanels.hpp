#pragma once

// The file choosers and the error alert of the General page's import and export, behind one small
// interface so the page can be driven without dialogs.

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

class QWidget;

namespace tovrel::settings {

class FilePanels {
 public:
  struct OpenRequest {
    QString message;      // shown as the dialog's title
    QStringList filters;  // "JSON (*.json)", first first
    QString startFolder;  // empty for the dialog's own choice
  };

  virtual ~FilePanels() = default;
  // The chosen file's path; none when the user cancels.
  virtual std::optional<std::string> chooseFileToOpen(QWidget* parent,
                                                      const OpenRequest& request) = 0;
  // The path to write to, the file-name field reading `fileName` at first; none when cancelled.
  virtual std::optional<std::string> chooseFileToSave(QWidget* parent, const QString& fileName,
                                                      const QStringList& filters) = 0;
  // A modal alert with the error's own text and nothing of ours around it.
  virtual void showError(QWidget* parent, const QString& text) = 0;

  // The desktop's file dialogs and a message box.
  static FilePanels& standard();
};

}  // namespace tovrel::settings
