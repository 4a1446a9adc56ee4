#include "insight/ChartForm.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <exception>

#include "insight/PeriodPicker.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"

namespace quil::insight {

namespace {

std::function<QString(const QString&)>& chooser() {
    static std::function<QString(const QString&)> f;
    return f;
}

QStringList monthLabels(const fleet::FuelReport& r) {
    QStringList labels;
    for (const fleet::MonthCosts& m : r.months)
        labels << QStringLiteral("%1/%2").arg(m.year).arg(m.month, 2, 10, QLatin1Char('0'));
    return labels;
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

ChartForm::ChartForm(ui::MainContext& context, QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      context_(context) {
    setObjectName(QStringLiteral("ChartForm"));
    setWindowTitle(QStringLiteral("グラフ"));
    resize(860, 560);
    Picker = new PeriodPicker(this);
    KindBox = new QComboBox(this);
    KindBox->setObjectName(QStringLiteral("KindBox"));
    KindBox->addItems({QStringLiteral("月別走行距離"), QStringLiteral("燃費の推移"),
                       QStringLiteral("月別費用（種類別）")});
    DrawButton = new QPushButton(QStringLiteral("表示"), this);
    View = new QChartView(new QChart, this);
    View->setObjectName(QStringLiteral("ChartView"));
    View->setRenderHint(QPainter::Antialiasing);
    PngButton = new QPushButton(QStringLiteral("PNG保存(&S)..."), this);
    PrintButton = new QPushButton(QStringLiteral("印刷(&P)..."), this);
    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    for (QPushButton* b : {DrawButton, PngButton, PrintButton, CloseButton})
        b->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(Picker, 1);
    top->addWidget(KindBox);
    top->addWidget(DrawButton);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(PngButton);
    bottom->addWidget(PrintButton);
    bottom->addStretch();
    bottom->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(View, 1);
    layout->addLayout(bottom);

    connect(DrawButton, &QPushButton::clicked, this, &ChartForm::DrawClick);
    connect(PngButton, &QPushButton::clicked, this, &ChartForm::savePng);
    connect(PrintButton, &QPushButton::clicked, this, [this] {
        auto* preview = new QPrintPreviewDialog(this);
        preview->setAttribute(Qt::WA_DeleteOnClose);
        preview->setWindowTitle(QStringLiteral("グラフ－印刷プレビュー"));
        connect(preview, &QPrintPreviewDialog::paintRequested, this,
                [this](QPrinter* target) { print(*target); });
        preview->open();
    });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
    if (mainWindow) move(mainWindow->pos() + QPoint(50, 50));
}

QChart* ChartForm::chart() const { return View->chart(); }

void ChartForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Picker->loadVehicles(context_.dataFolder());
}

void ChartForm::DrawClick() {
    fleet::FuelReport report;
    try {
        report =
            fleet::computeFuelReport(context_.dataFolder(), Picker->period(), Picker->vehicle());
    } catch (const std::exception& e) {
        ui::Prompts::current().warning(this, QString::fromStdString(e.what()));
        return;
    }
    auto* c = new QChart;
    c->setTitleFont([] {
        QFont f = labelFont();
        f.setPointSize(11);
        return f;
    }());
    c->legend()->setFont(labelFont());
    QChart* old = View->chart();
    View->setChart(c);
    delete old;
    c->setTitle(KindBox->currentText() + QStringLiteral("　") + Picker->vehicleText() +
                QStringLiteral("　") + Picker->periodText());
    switch (KindBox->currentIndex()) {
        case EconomyOverTime: drawEconomy(report); break;
        case CostPerMonth: drawCost(report); break;
        default: drawDistance(report); break;
    }
}

void ChartForm::drawDistance(const fleet::FuelReport& r) {
    auto* set = new QBarSet(QStringLiteral("走行距離 (km)"));
    double top = 0;
    for (const fleet::MonthCosts& m : r.months) {
        *set << m.figures.distance;
        top = std::max(top, m.figures.distance);
    }
    auto* series = new QBarSeries;
    series->append(set);
    auto* x = new QBarCategoryAxis;
    x->append(monthLabels(r));
    auto* y = new QValueAxis;
    y->setRange(0, top > 0 ? top * 1.1 : 10);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->setTitleText(QStringLiteral("km"));
    attach(chart(), series, x, y);
}

void ChartForm::drawEconomy(const fleet::FuelReport& r) {
    auto* line = new QLineSeries;
    line->setName(QStringLiteral("燃費 (km/L)"));
    auto* dots = new QScatterSeries;
    dots->setMarkerSize(8);
    dots->setName(QStringLiteral("満タン給油"));
    double top = 0;
    for (const fleet::EconomyPoint& p : r.points) {
        const QDateTime t = QDateTime(QDate(1899, 12, 30).addDays(qint64(p.date)), QTime(12, 0));
        const double kmL = p.distance / p.litres;
        line->append(double(t.toMSecsSinceEpoch()), kmL);
        dots->append(double(t.toMSecsSinceEpoch()), kmL);
        top = std::max(top, kmL);
    }
    auto* x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("yyyy/MM/dd"));
    x->setTickCount(6);
    auto* y = new QValueAxis;
    y->setRange(0, top > 0 ? top * 1.2 : 20);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.1f"));
    y->setTitleText(QStringLiteral("km/L"));
    attach(chart(), line, x, y);
    chart()->addSeries(dots);
    dots->attachAxis(x);
    dots->attachAxis(y);
    if (r.points.empty())
        chart()->setTitle(chart()->title() +
                          QStringLiteral("（燃費を計算できる区間がありません）"));
}

void ChartForm::drawCost(const fleet::FuelReport& r) {
    auto* fuel = new QBarSet(QStringLiteral("燃料費"));
    auto* maintenance = new QBarSet(QStringLiteral("整備費"));
    auto* expense = new QBarSet(QStringLiteral("出費"));
    double top = 0;
    for (const fleet::MonthCosts& m : r.months) {
        *fuel << double(m.figures.fuelCost);
        *maintenance << double(m.figures.maintenanceCost);
        *expense << double(m.figures.expenseCost);
        top = std::max(top, double(m.figures.totalCost()));
    }
    auto* series = new QStackedBarSeries;
    series->append({fuel, maintenance, expense});
    auto* x = new QBarCategoryAxis;
    x->append(monthLabels(r));
    auto* y = new QValueAxis;
    y->setRange(0, top > 0 ? top * 1.1 : 1000);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->setTitleText(QStringLiteral("円（税込）"));
    attach(chart(), series, x, y);
}

QImage ChartForm::image() const {
    QImage img(View->size(), QImage::Format_ARGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    View->render(&p);
    return img;
}

bool ChartForm::savePng() {
    const QString suggested =
        QDir::home().filePath(KindBox->currentText() + QStringLiteral(".png"));
    const QString path =
        chooser() ? chooser()(suggested)
                  : QFileDialog::getSaveFileName(this, QStringLiteral("PNG保存"), suggested,
                                                 QStringLiteral("PNG 画像 (*.png)"));
    if (path.isEmpty()) return false;
    if (!image().save(path, "PNG")) {
        ui::Prompts::current().warning(this, path + QStringLiteral(" に保存できませんでした。"));
        return false;
    }
    return true;
}

void ChartForm::print(QPrinter& target) {
    target.setPageOrientation(QPageLayout::Landscape);
    QPainter p;
    if (!p.begin(&target)) return;
    const QRect page = target.pageLayout().paintRectPixels(target.resolution());
    View->render(&p, QRectF(0, 0, page.width(), page.height()));
    p.end();
}

void ChartForm::setFileChooserForTesting(std::function<QString(const QString&)> f) {
    chooser() = std::move(f);
}

}  // namespace quil::insight
