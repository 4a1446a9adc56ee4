#include "ui/tools/ChartForm.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>
#include <memory>

#include "folder/ExportFile.h"
#include "store/StoreError.h"
#include "ui/printing/PrintPreview.h"

#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/FileChoice.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/PeriodPicker.h"
#include "ui/tools/ToolWindow.h"

namespace quil::analysis {

namespace {

std::function<QString(const QString&)>& chooser() {
    static std::function<QString(const QString&)> f;
    return f;
}

// The chart on one landscape page, as print() prints it.
class ChartDocument : public ui::PreviewDocument {
public:
    explicit ChartDocument(ChartForm& form) : form_(form) {}
    int layOut(QPrinter& printer) override {
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setDocName(form_.windowTitle());
        page_ = printer.pageLayout().paintRectPixels(printer.resolution());
        return 1;
    }
    void drawPage(QPainter& painter, int) override {
        form_.drawChart(painter, QRectF(0, 0, page_.width(), page_.height()));
    }
    void print(QPrinter& printer) override { form_.print(printer); }

private:
    ChartForm& form_;
    QRect page_;
};

}  // namespace

ChartForm::ChartForm(ui::MainContext& context, QWidget* mainWindow)
    : ToolForm(context, mainWindow, QStringLiteral("ChartForm"), QStringLiteral("グラフ"),
               {860, 560}) {
    Picker = new PeriodPicker(this);
    KindBox = new QComboBox(this);
    KindBox->setObjectName(QStringLiteral("KindBox"));
    KindBox->addItems({QStringLiteral("月別走行距離"), QStringLiteral("燃費の推移"),
                       QStringLiteral("月別費用（種類別）")});
    DrawButton = new QPushButton(QStringLiteral("表示"), this);
    const ChartCanvasResult made = createChartCanvas(this);
    canvas_ = made.canvas;
    if (canvas_) {
        View = canvas_->widget();
    } else {
        auto* reason = new QLabel(made.error, this);
        reason->setObjectName(QStringLiteral("ChartError"));
        reason->setAlignment(Qt::AlignCenter);
        reason->setWordWrap(true);
        View = reason;
    }
    PngButton = new QPushButton(QStringLiteral("PNG保存(&S)..."), this);
    PrintButton = new QPushButton(QStringLiteral("印刷(&P)..."), this);
    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    noDefaultButton({DrawButton, PngButton, PrintButton, CloseButton});
    for (QPushButton* b : {DrawButton, PngButton, PrintButton}) b->setEnabled(canvas_ != nullptr);

    auto* top = new QHBoxLayout;
    top->addWidget(Picker, 1);
    top->addWidget(KindBox);
    top->addWidget(DrawButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(View, 1);
    layout->addLayout(footRow({PngButton, PrintButton}, {CloseButton}));

    connect(DrawButton, &QPushButton::clicked, this, &ChartForm::DrawClick);
    connect(PngButton, &QPushButton::clicked, this, &ChartForm::savePng);
    connect(PrintButton, &QPushButton::clicked, this, [this] {
        auto* preview = new ui::PrintPreview(nullptr, std::make_unique<ChartDocument>(*this), this);
        preview->setWindowTitle(QStringLiteral("グラフ－印刷プレビュー"));
        preview->open();
    });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
    ui::placeBesideMainWindow(*this, mainWindow, ui::kBesideMain);
}

QObject* ChartForm::chart() const { return canvas_ ? canvas_->chart() : nullptr; }

void ChartForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Picker->readVehicles(ui::dataSetOpener(context_));
}

void ChartForm::DrawClick() {
    if (!canvas_) return;
    // A data set that cannot be read ends the command at the application's error report;
    // the chart keeps what it showed.
    // The figures are summed on a worker with its own access to the data set.
    const QString title = KindBox->currentText() + QStringLiteral("　") + Picker->vehicleText() +
                          QStringLiteral("　") + Picker->periodText();
    work_->start([this, title, kind = ChartKind(KindBox->currentIndex()),
                  open = ui::dataSetOpener(context_), period = Picker->period(),
                  vehicle = Picker->vehicle()] {
        auto report = std::make_shared<analysis::FuelReport>(
            analysis::computeFuelReport(*open(), period, vehicle));
        return ui::BackgroundWork::Apply([this, title, kind, report] {
            if (canvas_) canvas_->draw(kind, title, *report);
        });
    });
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
        ui::proposedFilePath(ui::FileKind::Png, KindBox->currentText() + QStringLiteral(".png"));
    const QString path =
        chooser() ? chooser()(suggested)
                  : ui::chooseSaveFile(this, ui::FileKind::Png, QStringLiteral("PNG保存"),
                                       suggested, QStringLiteral("PNG 画像 (*.png)"));
    if (path.isEmpty()) return false;
    // Drawn in memory, then written by the program's one file writer: a data set's file is
    // refused, and a failure leaves the file that was there.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    try {
        if (!image().save(&buffer, "PNG"))
            throw store::StoreError(path.toStdString(), "画像を作れませんでした。");
        folder::writeExportFile(path.toStdString(),
                                std::string_view(png.constData(), std::size_t(png.size())));
    } catch (const store::StoreError& e) {
        ui::Prompts::current().warning(this, path + QStringLiteral(" に保存できませんでした（") +
                                                 QString::fromStdString(e.reason()) +
                                                 QStringLiteral("）。"));
        return false;
    }
    return true;
}

void ChartForm::print(QPrinter& target) {
    if (!canvas_) return;
    target.setPageOrientation(QPageLayout::Landscape);
    target.setDocName(windowTitle());
    QPainter p;
    if (!p.begin(&target)) return;
    const QRect page = target.pageLayout().paintRectPixels(target.resolution());
    drawChart(p, QRectF(0, 0, page.width(), page.height()));
    p.end();
}

void ChartForm::drawChart(QPainter& painter, const QRectF& page) {
    if (canvas_) canvas_->render(painter, page);
}

void ChartForm::setFileChooserForTesting(std::function<QString(const QString&)> f) {
    chooser() = std::move(f);
}

}  // namespace quil::analysis
