#pragma once
// Small pieces every product window builds its layout from.

#include "ui/dialog_units.h"

#include <QPoint>
#include <QRect>
#include <QString>

class QGroupBox;
class QLabel;
class QWidget;

namespace zar4::ui {

// The object name a control carries so tests and tools find it by its resource id: "id1037".
QString controlName(int id);

// A group frame at a dialog-unit rectangle, drawn as on the operator's Windows screens: the
// frame line runs through the middle of its title. Created before the controls it surrounds,
// so that it lies under them.
QGroupBox* addGroupFrame(QWidget* parent, const DialogUnits& units, const QString& title, int x,
                         int y, int width, int height);

// Makes a one-line label reach from its left edge to just before `rightLimit` (the control
// beside it, in pixels), a pixel clear of it. A text still longer than that moves the label
// left as far as it needs, never before `leftLimit`: no text is cut or touches its neighbour
// where the font is wider than the layout's.
void fitLabelBefore(QLabel* label, int rightLimit, int leftLimit);

// Where a window's frame (`frame`: the window with its title bar and borders) goes so that the
// title bar is on the screen's `available` area and as much of the window as fits is visible:
// a frame that sticks out is moved back in; one larger than the area starts at its top-left
// corner (the title bar first, then the top of the window).
QPoint placeWithin(const QRect& frame, const QRect& available);

// Moves a top-level window, as it is shown, to where placeWithin puts it on its own screen.
// Before the window manager has framed it, its title bar is reckoned at the style's height.
void keepOnScreen(QWidget* window);

} // namespace zar4::ui
