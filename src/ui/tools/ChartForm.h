#pragma once
// "グラフ": distance per month, fuel economy over time and cost per month stacked by kind
// (燃料費, 整備費, 出費), for every vehicle or one, over the period of the summary table.
// The chart is saved as a PNG file or printed. The chart itself is drawn by a ChartCanvas
// from the module loaded on first use; without it the window says why and draws nothing.

#include <functional>

#include "reports/FuelReport.h"
#include "ui/tools/ChartCanvas.h"
#include "ui/tools/ToolWindow.h"

class QComboBox;
class QPainter;
class QPrinter;
class QRectF;
class QPushButton;

namespace quil::analysis {

class PeriodPicker;

class ChartForm : public ToolForm {
    Q_OBJECT
public:
    enum Kind {
        DistancePerMonth = int(ChartKind::DistancePerMonth),
        EconomyOverTime = int(ChartKind::EconomyOverTime),
        CostPerMonth = int(ChartKind::CostPerMonth)
    };

    ChartForm(ui::MainContext& context, QWidget* mainWindow);

    PeriodPicker* Picker = nullptr;
    QComboBox* KindBox = nullptr;
    QPushButton* DrawButton = nullptr;  // "表示"
    QWidget* View = nullptr;            // the canvas's chart, or the reason there is none
    QPushButton* PngButton = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* CloseButton = nullptr;

    // The chart drawn (a QChart); null when the chart module could not be loaded.
    QObject* chart() const;
    // Draws the chosen chart from the records.
    void DrawClick();
    // The chart as an image of the view's size.
    QImage image() const;
    // Asks for a file and saves image() as PNG; returns whether it was written.
    bool savePng();
    void print(QPrinter& target);
    // Draws the chart filling `page` (the printer's page, in its device units).
    void drawChart(QPainter& painter, const QRectF& page);

    static void setFileChooserForTesting(std::function<QString(const QString& suggested)> chooser);

protected:
    void showEvent(QShowEvent* event) override;

private:
    ChartCanvas* canvas_ = nullptr;  // owned through View
};

}  // namespace quil::analysis
