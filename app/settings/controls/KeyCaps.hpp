#pragma once

// A gesture shown as a key cap: its text on a raised rounded plate, large where it heads a row.

#include <QAbstractButton>
#include <QFont>
#include <QPalette>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QWidget>

class QPainter;

namespace tovrel::settings {

QFont keyCapsFont(bool large);
// The cap's size around `text`, the one-pixel shadow below it included.
QSize keyCapsSize(const QString& text, bool large);
// Draws the cap into `box` (the shadow takes its bottom pixel). A placeholder's text is dimmed.
void paintKeyCaps(QPainter& painter, const QRectF& box, const QString& text, bool placeholder,
                  bool large, const QPalette& palette);

class KeyCaps : public QWidget {
 public:
  KeyCaps(QString text, bool placeholder, bool large, QWidget* parent = nullptr);

  void setText(QString text, bool placeholder);
  void setLarge(bool large);
  const QString& text() const { return text_; }
  bool isPlaceholder() const { return placeholder_; }
  bool isLarge() const { return large_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  bool placeholder_;
  bool large_;
};

// A plain button that is a key cap: the shortcut field's idle face. Keyboard focus rings it in the
// accent colour.
class KeyCapsButton : public QAbstractButton {
 public:
  explicit KeyCapsButton(QWidget* parent = nullptr);

  void setCaps(const QString& text, bool placeholder, bool large);
  bool isPlaceholder() const { return placeholder_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool placeholder_ = false;
  bool large_ = false;
};

}  // namespace tovrel::settings
