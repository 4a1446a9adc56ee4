#pragma once
// The graph window: a placeholder until the feature exists.

#include "ui/windows/PlaceholderForm.h"

namespace quil::ui {

class TGraphform : public PlaceholderForm {
    Q_OBJECT
public:
    explicit TGraphform(QWidget* mainWindow);
};

}  // namespace quil::ui
