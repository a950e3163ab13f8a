#pragma once

class QMessageBox;
class QWidget;

// Small helpers that make the widgets read well to assistive technology.
namespace Accessibility {

// Puts a widget's children in the order its layout shows them, top to bottom and left to right:
// screen readers read children in the order they were made, which is not always that order.
void orderChildrenAsLaidOut(QWidget* widget);

// Names the app icon that a message box shows, which is otherwise an unnamed image.
void nameAlertIcon(QMessageBox* box);

} // namespace Accessibility
