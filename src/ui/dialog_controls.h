#pragma once
// Small pieces every product window builds its layout from.

#include "ui/dialog_units.h"

#include <QString>

class QGroupBox;
class QWidget;

namespace zar4::ui {

// The object name a control carries so tests and tools find it by its resource id: "id1037".
QString controlName(int id);

// A group frame at a dialog-unit rectangle, drawn as on the operator's Windows screens: the
// frame line runs through the middle of its title. Created before the controls it surrounds,
// so that it lies under them.
QGroupBox* addGroupFrame(QWidget* parent, const DialogUnits& units, const QString& title, int x,
                         int y, int width, int height);

} // namespace zar4::ui
