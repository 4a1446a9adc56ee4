#pragma once
// The maintenance schedule list: a placeholder until the feature exists.

#include "ui/windows/PlaceholderForm.h"

namespace quil::ui {

class TSkeForm : public PlaceholderForm {
    Q_OBJECT
public:
    explicit TSkeForm(QWidget* mainWindow);
};

}  // namespace quil::ui
