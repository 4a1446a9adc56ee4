#pragma once
// The maintenance cycle list: a placeholder until the feature exists.

#include "ui/windows/PlaceholderForm.h"

namespace quil::ui {

class TMISkeForm : public PlaceholderForm {
    Q_OBJECT
public:
    explicit TMISkeForm(QWidget* mainWindow);
};

}  // namespace quil::ui
