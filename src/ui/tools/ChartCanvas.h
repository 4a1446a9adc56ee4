#pragma once
// The chart area of the グラフ window. It is drawn with Qt Charts, which with the OpenGL
// libraries it pulls in costs every start-up of the program over a millisecond to load and
// relocate; so the chart lives in a module of its own (libquil_charts.so) that is loaded
// the first time the window opens, and the window reaches it through this interface only.

#include <QString>

#include "reports/FuelReport.h"

class QObject;
class QPainter;
class QRectF;
class QWidget;

namespace quil::analysis {

enum class ChartKind { DistancePerMonth = 0, EconomyOverTime = 1, CostPerMonth = 2 };

class ChartCanvas {
public:
    virtual ~ChartCanvas() = default;
    // The chart's widget. It is a child of the parent the canvas was made for, which owns
    // it; deleting the widget deletes the canvas.
    virtual QWidget* widget() = 0;
    // Replaces the chart with `kind` drawn from `report` under `title`.
    virtual void draw(ChartKind kind, const QString& title, const analysis::FuelReport& report) = 0;
    // The chart drawn (a QChart).
    virtual QObject* chart() = 0;
    // Paints the chart into `target` of `painter`'s device (a page), keeping its proportions.
    virtual void render(QPainter& painter, const QRectF& target) = 0;
};

// The module's entry point, extern "C" under kChartCanvasSymbol: a new canvas with its
// widget made a child of `parent`.
using ChartCanvasFactory = ChartCanvas* (*)(QWidget* parent);
inline constexpr char kChartCanvasSymbol[] = "quil_create_chart_canvas";
inline constexpr char kChartModuleFile[] = "libquil_charts.so";

struct ChartCanvasResult {
    ChartCanvas* canvas = nullptr;  // owned by `parent` through its widget
    QString error;                  // why there is none, in the program's words
};

// Loads the module (once; it stays loaded) from beside the program or from the library
// folder of an installed program (<prefix>/lib/quil), and makes a canvas for `parent`.
ChartCanvasResult createChartCanvas(QWidget* parent);
// The module loaded from `path` alone (for the checks of a built or installed module).
ChartCanvasResult createChartCanvasFrom(const QString& path, QWidget* parent);
// Where createChartCanvas looks for the module, in order.
QStringList chartModuleCandidates();
// Replaces the module with `factory` (null restores it): the tests link the chart in.
void setChartCanvasFactoryForTesting(ChartCanvasFactory factory);

}  // namespace quil::analysis
