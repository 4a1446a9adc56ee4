#include "ui/components/TRetComboBox.h"

namespace quil::ui {

TRetComboBox::TRetComboBox(QWidget* parent) : ReturnNextControl<QComboBox>(parent) {}

}  // namespace quil::ui
