#pragma once

// Pictures of the settings window's parts for whoever reads the run, written under the build's
// artifacts/settings, and the layout checks a reader of them would make.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tovrel::settings {

// The folder the pictures go to, made when missing.
QString artifactFolder();

// What a reader of the picture would object to: a text wider or taller than its widget, a button
// narrower than its text, or two visible siblings laid over each other.
std::vector<std::string> layoutFaults(const QWidget& root);

// Makes the widget afresh for each of light and dark, at the settings window's usual and minimum
// content sizes, checks its layout (a fault fails the test) and saves
// "<name>[-minimum]-<light|dark>.png".
void shootInEveryLook(const std::string& name,
                      const std::function<std::unique_ptr<QWidget>()>& make);

}  // namespace tovrel::settings
