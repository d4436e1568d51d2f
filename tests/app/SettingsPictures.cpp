#include "tests/app/SettingsPictures.hpp"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QSplitterHandle>

#include "app/settings/Theme.hpp"

namespace tovrel::settings {

namespace {

QString describe(const QWidget* widget) {
  QString name = QString::fromLatin1(widget->metaObject()->className());
  if (!widget->objectName().isEmpty()) name += QStringLiteral("#") + widget->objectName();
  const QRect g = widget->geometry();
  name += QStringLiteral("(%1,%2 %3x%4)").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
  if (widget->parentWidget() && !widget->parentWidget()->objectName().isEmpty())
    name += QStringLiteral(" in ") + widget->parentWidget()->objectName();
  if (const auto* label = qobject_cast<const QLabel*>(widget))
    name += QStringLiteral(" \"") + label->text() + QStringLiteral("\"");
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
    name += QStringLiteral(" \"") + button->text() + QStringLiteral("\"");
  return name;
}

}  // namespace

std::vector<std::string> layoutFaults(const QWidget& root) {
  std::vector<std::string> faults;
  const QList<QWidget*> widgets = root.findChildren<QWidget*>();
  for (const QWidget* widget : widgets) {
    if (!widget->isVisibleTo(&root)) continue;
    if (const auto* label = qobject_cast<const QLabel*>(widget);
        label && !label->text().isEmpty() && label->textFormat() != Qt::RichText) {
      const QRect inside = label->contentsRect();
      if (label->wordWrap()) {
        if (label->heightForWidth(label->width()) > label->height() + 1)
          faults.push_back("text cut: " + describe(label).toStdString());
      } else if (label->fontMetrics().horizontalAdvance(label->text()) > inside.width() + 1) {
        faults.push_back("text cut: " + describe(label).toStdString());
      }
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget);
        button && !button->text().isEmpty() &&
        button->width() < button->minimumSizeHint().width()) {
      faults.push_back("button squeezed: " + describe(button).toStdString());
    }
    // Siblings: the children of a widget, leaving out the scroll area's own parts.
    if (qobject_cast<const QAbstractScrollArea*>(widget)) continue;
    QList<QWidget*> children;
    for (QObject* child : widget->children())
      // A splitter's handle reaches over its neighbours on purpose, to be easier to grab; a
      // decoration that lets the mouse through (a highlight behind a section) lies under them.
      if (auto* w = qobject_cast<QWidget*>(child);
          w && w->isVisibleTo(&root) && !w->isWindow() && !qobject_cast<QSplitterHandle*>(w) &&
          !w->testAttribute(Qt::WA_TransparentForMouseEvents))
        children.push_back(w);
    for (qsizetype i = 0; i < children.size(); ++i)
      for (qsizetype j = i + 1; j < children.size(); ++j)
        if (children[i]->geometry().intersects(children[j]->geometry()))
          faults.push_back("overlap: " + describe(children[i]).toStdString() + " and " +
                           describe(children[j]).toStdString());
  }
  return faults;
}

QString artifactFolder() {
  const QString folder = QStringLiteral(TOVREL_ARTIFACT_DIR "/settings");
  QDir().mkpath(folder);
  return folder;
}

void shootInEveryLook(const std::string& name,
                      const std::function<std::unique_ptr<QWidget>()>& make) {
  for (const bool dark : {false, true}) {
    for (const QSize size : {QSize(940, 680), QSize(720, 540)}) {
      SCOPED_TRACE(name + (dark ? " dark " : " light ") + std::to_string(size.width()));
      // As the desktop gives it: to the whole application.
      QApplication::setPalette(dark ? darkPalette() : lightPalette());
      std::unique_ptr<QWidget> widget = make();
      widget->setAutoFillBackground(true);
      widget->resize(size);
      widget->show();
      QCoreApplication::processEvents();
      for (const std::string& fault : layoutFaults(*widget))
        ADD_FAILURE() << fault;
      const QString file =
          artifactFolder() + QStringLiteral("/%1%2-%3.png")
                                 .arg(QString::fromStdString(name))
                                 .arg(size.width() == 940 ? QString() : QStringLiteral("-minimum"))
                                 .arg(dark ? "dark" : "light");
      const QPixmap picture = widget->grab();
      EXPECT_FALSE(picture.isNull());
      EXPECT_TRUE(picture.save(file)) << file.toStdString();
      widget->hide();
    }
  }
}

}  // namespace tovrel::settings
