#pragma once
// The detector register: the alcohol detectors the company owns, with serial number, the
// day each was put in use and its last inspection, and the number of days after which an
// uninspected detector is reported. Overdue detectors are marked in red and counted.

#include <vector>

#include "reports/AlcoholCheck.h"
#include "ui/dialogs/FormDialog.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace quil::ui {
class MainContext;
class TDateEdit;
class TRetEdit;
}  // namespace quil::ui

namespace quil::alcohol {

class TDetectorForm : public ui::FormDialog {
    Q_OBJECT
public:
    TDetectorForm(ui::MainContext& context, QWidget* parent);

    QTableWidget* table = nullptr;
    ui::TRetEdit* nameEdit = nullptr;
    ui::TRetEdit* serialEdit = nullptr;
    ui::TDateEdit* inUseBox = nullptr;
    ui::TDateEdit* inspectionBox = nullptr;
    QCheckBox* noInspectionCheck = nullptr;  // never inspected yet
    QCheckBox* retiredCheck = nullptr;
    QSpinBox* daysBox = nullptr;
    QLabel* warningLabel = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* updateButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* closeButton = nullptr;

    void reload();
    const std::vector<Detector>& detectors() const { return detectors_; }
    // Adds the detector of the fields, or stores them over the selected one; a refusal
    // (no name) is shown and nothing is written.
    bool addDetector();
    bool updateSelected();
    // Deletes the selected detector after a question, unless a check refers to it (then
    // 使用をやめた is the way).
    bool removeSelected();

protected:
    void FormShow() override;

private:
    bool fromFields(Detector& detector);
    // Refuses a detector of the same name and serial as another one.
    bool refuseDuplicate(const Detector& detector);
    void showSelected();

    ui::MainContext& context_;
    std::vector<Detector> detectors_;
};

}  // namespace quil::alcohol
