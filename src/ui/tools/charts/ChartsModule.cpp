// The entry point of libquil_charts.so, which the program loads when the グラフ window
// first opens.
#include "ui/tools/charts/QtChartCanvas.h"

extern "C" __attribute__((visibility("default"))) quil::analysis::ChartCanvas*
quil_create_chart_canvas(QWidget* parent) {
    return quil::analysis::QtChartCanvas::create(parent);
}
