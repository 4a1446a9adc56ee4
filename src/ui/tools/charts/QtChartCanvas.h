#pragma once
// The chart area of the グラフ window drawn with Qt Charts: built into libquil_charts.so,
// and linked into the tests directly.

#include <QChartView>

#include "ui/tools/ChartCanvas.h"

namespace quil::analysis {

class QtChartCanvas : public QChartView, public ChartCanvas {
    Q_OBJECT
public:
    explicit QtChartCanvas(QWidget* parent);

    QWidget* widget() override { return this; }
    void draw(ChartKind kind, const QString& title, const analysis::FuelReport& report) override;
    QObject* chart() override { return QChartView::chart(); }
    void render(QPainter& painter, const QRectF& target) override {
        QChartView::render(&painter, target);
    }

    static ChartCanvas* create(QWidget* parent) { return new QtChartCanvas(parent); }

private:
    void drawDistance(const analysis::FuelReport& r);
    void drawEconomy(const analysis::FuelReport& r);
    void drawCost(const analysis::FuelReport& r);
};

}  // namespace quil::analysis
