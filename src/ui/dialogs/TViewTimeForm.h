#pragma once
// The display period dialog ("表示期間"): calendar year, fiscal year, fiscal half, quarter or
// month, with the year and the part of the year, stored as Item/Time and Item/Time<kind>.
// Created once, shown modeless over the main window.

#include <QString>
#include <QStringList>
#include <array>

#include "store/Period.h"
#include "ui/dialogs/OkCancelForm.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace quil::ui {

class MainContext;

// The parts of a year a period kind offers: 上期/下期, 1/4期…4/4期, 1月…12月; none for the
// calendar and fiscal year.
QStringList periodPartEntries(store::PeriodKind kind);

class TViewTimeForm : public OkCancelForm {
    Q_OBJECT
public:
    static constexpr int kMinYear = 1900;
    static constexpr int kMaxYear = 2100;

    TViewTimeForm(MainContext& context, QWidget* parent);

    // The display period kind of the selected button, All when none is selected.
    store::PeriodKind selectedKind() const;

    QButtonGroup* RadioGroup1() const { return radioGroup_; }
    QRadioButton* periodButton(store::PeriodKind kind) const;  // none for All
    QLineEdit* Edit1() const { return edit1_; }  // year
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }
    QLabel* Label1() const { return label1_; }           // "年" or "年度"
    QComboBox* ComboBox1() const { return comboBox1_; }  // part of the year

public Q_SLOTS:
    // Places the dialog and selects the button of the stored period kind.
    void FormShow() override;
    // Sets up the year box, its label and the part-of-year list for the selected kind,
    // from the period last stored for that kind.
    void RadioGroup1Click();
    // OK: stores the period, refreshes the main window's period box and list, closes.
    void Button1Click() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The up-down control: steps the year in the box by `delta` within 1900..2100.
    void stepYear(int delta);
    std::array<QWidget*, 4> yearControls() const;  // year box, up-down, label, part list
    void refuse(const QString& message, QWidget* focus);

    MainContext& context_;
    int upDownPosition_ = kMinYear;

    QButtonGroup* radioGroup_ = nullptr;
    QLineEdit* edit1_ = nullptr;
    QWidget* upDown1_ = nullptr;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    QLabel* label1_ = nullptr;
    QComboBox* comboBox1_ = nullptr;
};

}  // namespace quil::ui
