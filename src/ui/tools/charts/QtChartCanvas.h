#pragma once
// The chart area of the グラフ window drawn with Qt Charts: built into libquil_charts.so,
// and linked into the tests directly.

#include <QChartView>

#include "ui/tools/ChartCanvas.h"

namespace quil::insight {

class QtChartCanvas : public QChartView, public ChartCanvas {
    Q_OBJECT
public:
    explicit QtChartCanvas(QWidget* parent);

    QWidget* widget() override { return this; }
    void draw(ChartKind kind, const QString& title, const fleet::FuelReport& report) override;
    QObject* chart() override { return QChartView::chart(); }
    void render(QPainter& painter, const QRectF& target) override {
        QChartView::render(&painter, target);
    }

    static ChartCanvas* create(QWidget* parent) { return new QtChartCanvas(parent); }

private:
    void drawDistance(const fleet::FuelReport& r);
    void drawEconomy(const fleet::FuelReport& r);
    void drawCost(const fleet::FuelReport& r);
};

}  // namespace quil::insight
