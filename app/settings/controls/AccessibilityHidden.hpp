#pragma once

// Pictures that only illustrate a setting are left out of the accessibility tree: a screen reader
// would have nothing to say about them, and click mode must not label their mock buttons.

class QWidget;

namespace tovrel::settings {

// Hides `widget` and everything in it from accessibility. Call before the widget is first asked
// for its accessible interface (in its constructor).
void hideFromAccessibility(QWidget* widget);

}  // namespace tovrel::settings
