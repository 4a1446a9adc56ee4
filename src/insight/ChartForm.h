#pragma once
// "グラフ": distance per month, fuel economy over time and cost per month stacked by kind
// (燃料費, 整備費, 出費), for every vehicle or one, over the period of the summary table.
// The chart is saved as a PNG file or printed.

#include <QDialog>
#include <functional>

#include "fleet/FuelReport.h"

class QChart;
class QChartView;
class QComboBox;
class QPrinter;
class QPushButton;

namespace quil::ui {
class MainContext;
}

namespace quil::insight {

class PeriodPicker;

class ChartForm : public QDialog {
    Q_OBJECT
public:
    enum Kind { DistancePerMonth = 0, EconomyOverTime = 1, CostPerMonth = 2 };

    ChartForm(ui::MainContext& context, QWidget* mainWindow);

    PeriodPicker* Picker = nullptr;
    QComboBox* KindBox = nullptr;
    QPushButton* DrawButton = nullptr;  // "表示"
    QChartView* View = nullptr;
    QPushButton* PngButton = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* CloseButton = nullptr;

    QChart* chart() const;
    // Draws the chosen chart from the records.
    void DrawClick();
    // The chart as an image of the view's size.
    QImage image() const;
    // Asks for a file and saves image() as PNG; returns whether it was written.
    bool savePng();
    void print(QPrinter& target);

    static void setFileChooserForTesting(std::function<QString(const QString& suggested)> chooser);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void drawDistance(const fleet::FuelReport& r);
    void drawEconomy(const fleet::FuelReport& r);
    void drawCost(const fleet::FuelReport& r);

    ui::MainContext& context_;
};

}  // namespace quil::insight
