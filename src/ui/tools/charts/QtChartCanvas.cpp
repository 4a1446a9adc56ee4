#include "ui/tools/charts/QtChartCanvas.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QStackedBarSeries>
#include <QValueAxis>
#include <algorithm>
#include <utility>
#include <vector>

namespace quil::analysis {

namespace {

// The months of the report as "yyyy/MM" categories.
QBarCategoryAxis* monthAxis(const analysis::FuelReport& r) {
    auto* x = new QBarCategoryAxis;
    QStringList labels;
    for (const analysis::MonthCosts& m : r.months)
        labels << QStringLiteral("%1/%2").arg(m.year).arg(m.month, 2, 10, QLatin1Char('0'));
    x->append(labels);
    return x;
}

// A value axis from 0 to a round number above `top` with `headroom` to spare (to `empty`
// when nothing is above 0).
QValueAxis* valueAxis(double top, double headroom, double empty, const QString& format,
                      const QString& title) {
    auto* y = new QValueAxis;
    y->setRange(0, top > 0 ? top * headroom : empty);
    y->applyNiceNumbers();
    y->setLabelFormat(format);
    y->setTitleText(title);
    return y;
}

QFont labelFont() {
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setPointSize(9);
    return f;
}

void attach(QChart* chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y) {
    chart->addSeries(series);
    x->setLabelsFont(labelFont());
    y->setLabelsFont(labelFont());
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
}

}  // namespace

QtChartCanvas::QtChartCanvas(QWidget* parent) : QChartView(new QChart, parent) {
    setObjectName(QStringLiteral("ChartView"));
    setRenderHint(QPainter::Antialiasing);
}

void QtChartCanvas::draw(ChartKind kind, const QString& title, const analysis::FuelReport& report) {
    auto* c = new QChart;
    c->setTitleFont([] {
        QFont f = labelFont();
        f.setPointSize(11);
        return f;
    }());
    c->legend()->setFont(labelFont());
    QChart* old = QChartView::chart();
    setChart(c);
    delete old;
    c->setTitle(title);
    switch (kind) {
        case ChartKind::EconomyOverTime: drawEconomy(report); break;
        case ChartKind::CostPerMonth: drawCost(report); break;
        case ChartKind::DistancePerMonth: drawDistance(report); break;
    }
}

void QtChartCanvas::drawDistance(const analysis::FuelReport& r) {
    auto* set = new QBarSet(QStringLiteral("走行距離 (km)"));
    double top = 0;
    for (const analysis::MonthCosts& m : r.months) {
        *set << m.figures.distance;
        top = std::max(top, m.figures.distance);
    }
    auto* series = new QBarSeries;
    series->append(set);
    attach(QChartView::chart(), series, monthAxis(r),
           valueAxis(top, 1.1, 10, QStringLiteral("%.0f"), QStringLiteral("km")));
}

void QtChartCanvas::drawEconomy(const analysis::FuelReport& r) {
    QChart* c = QChartView::chart();
    // One line per vehicle: the fill-ups of different vehicles are not one series.
    std::vector<std::pair<int, QLineSeries*>> lines;
    auto lineOf = [&](int vehicle) {
        for (const auto& [v, line] : lines)
            if (v == vehicle) return line;
        auto* line = new QLineSeries;
        line->setPointsVisible(true);
        QString name = QStringLiteral("その他");
        for (const analysis::VehicleCosts& v : r.vehicles)
            if (v.position == vehicle) name = QString::fromStdString(v.name);
        line->setName(name + QStringLiteral(" (km/L)"));
        lines.emplace_back(vehicle, line);
        return line;
    };
    double top = 0;
    QDateTime first, last;
    for (const analysis::EconomyPoint& p : r.points) {
        const QDateTime t = QDateTime(QDate(1899, 12, 30).addDays(qint64(p.date)), QTime(12, 0));
        const double kmL = p.distance / p.litres;
        lineOf(p.vehicle)->append(double(t.toMSecsSinceEpoch()), kmL);
        top = std::max(top, kmL);
        if (!first.isValid() || t < first) first = t;
        if (!last.isValid() || t > last) last = t;
    }
    if (lines.empty()) lineOf(r.vehicles.size() == 1 ? r.vehicles.front().position : -1);
    auto* x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("yyyy/MM/dd"));
    x->setTickCount(6);
    QValueAxis* y = valueAxis(top, 1.2, 20, QStringLiteral("%.1f"), QStringLiteral("km/L"));
    attach(c, lines.front().second, x, y);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        c->addSeries(lines[i].second);
        lines[i].second->attachAxis(x);
        lines[i].second->attachAxis(y);
    }
    // The time axis spans every vehicle's points (attaching takes the first line's range
    // only), with half a day to spare at each end.
    if (first.isValid()) x->setRange(first.addSecs(-12 * 3600), last.addSecs(12 * 3600));
    if (r.points.empty())
        c->setTitle(c->title() + QStringLiteral("（燃費を計算できる区間がありません）"));
}

void QtChartCanvas::drawCost(const analysis::FuelReport& r) {
    auto* fuel = new QBarSet(QStringLiteral("燃料費"));
    auto* maintenance = new QBarSet(QStringLiteral("整備費"));
    auto* expense = new QBarSet(QStringLiteral("出費"));
    double top = 0;
    for (const analysis::MonthCosts& m : r.months) {
        *fuel << double(m.figures.fuelCost);
        *maintenance << double(m.figures.maintenanceCost);
        *expense << double(m.figures.expenseCost);
        top = std::max(top, double(m.figures.totalCost()));
    }
    auto* series = new QStackedBarSeries;
    series->append({fuel, maintenance, expense});
    attach(QChartView::chart(), series, monthAxis(r),
           valueAxis(top, 1.1, 1000, QStringLiteral("%.0f"), QStringLiteral("円（税込）")));
}

}  // namespace quil::analysis
