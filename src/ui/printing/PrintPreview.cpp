#include "ui/printing/PrintPreview.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/printing/TCustomGridPrinter.h"
#include "ui/dialogs/FileChoice.h"
#include "ui/dialogs/WaitCursor.h"

namespace quil::ui {

namespace {

// Room around the paper in the view, pixels.
constexpr int kPaperMargin = 12;

}  // namespace

GridPrinterDocument::GridPrinterDocument(TCustomGridPrinter& gridPrinter,
                                         std::function<void(QPrinter&)> setUp,
                                         std::function<void(QPrinter&)> print)
    : gridPrinter_(gridPrinter), setUp_(std::move(setUp)), print_(std::move(print)) {}

int GridPrinterDocument::layOut(QPrinter& printer) {
    if (setUp_) setUp_(printer);
    return gridPrinter_.PreparePages(printer);
}

void GridPrinterDocument::drawPage(QPainter& painter, int page) {
    gridPrinter_.PrintPage(painter, page);
}

PrintPreview::PrintPreview(QPrinter* printer, std::unique_ptr<PreviewDocument> document,
                           QWidget* parent)
    : QDialog(parent),
      ownPrinter_(printer ? nullptr : std::make_unique<QPrinter>()),
      printer_(printer ? printer : ownPrinter_.get()),
      document_(std::move(document)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("印刷プレビュー"));

    auto* bar = new QToolBar(this);
    auto add = [&](const QString& text, QKeySequence key, auto slot) {
        QAction* a = bar->addAction(text);
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    add(QStringLiteral("幅に合わせる"), {}, [this] { fitToWidth(); });
    add(QStringLiteral("ページ全体"), {}, [this] { fitInView(); });
    add(QStringLiteral("拡大"), QKeySequence::ZoomIn, [this] { setZoomFactor(zoom_ * 1.25); });
    add(QStringLiteral("縮小"), QKeySequence::ZoomOut, [this] { setZoomFactor(zoom_ / 1.25); });
    bar->addSeparator();
    add(QStringLiteral("最初"), QKeySequence(Qt::CTRL | Qt::Key_Home),
        [this] { setCurrentPage(1); });
    add(QStringLiteral("前"), QKeySequence(Qt::Key_PageUp), [this] { setCurrentPage(page_ - 1); });
    pageBox_ = new QSpinBox(bar);
    pageBox_->setObjectName(QStringLiteral("PageBox"));
    pageBox_->setMinimum(1);
    pageBox_->setKeyboardTracking(false);
    bar->addWidget(pageBox_);
    pageTotal_ = new QLabel(bar);
    bar->addWidget(pageTotal_);
    add(QStringLiteral("次"), QKeySequence(Qt::Key_PageDown),
        [this] { setCurrentPage(page_ + 1); });
    add(QStringLiteral("最後"), QKeySequence(Qt::CTRL | Qt::Key_End),
        [this] { setCurrentPage(pageCount_); });
    bar->addSeparator();
    add(QStringLiteral("ページ設定"), {}, [this] { pageSetup(); });
    add(QStringLiteral("印刷"), QKeySequence::Print, [this] { printDocument(); });
    connect(pageBox_, &QSpinBox::valueChanged, this, [this](int page) { setCurrentPage(page); });

    pageView_ = new QLabel;
    pageView_->setAlignment(Qt::AlignCenter);
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(pageView_);
    scroll_->setWidgetResizable(true);
    scroll_->setBackgroundRole(QPalette::Dark);
    scroll_->viewport()->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(scroll_, 1);
    resize(900, 700);
    updatePreview();
}

PrintPreview::~PrintPreview() = default;

QPageLayout::Orientation PrintPreview::orientation() const {
    return printer_->pageLayout().orientation();
}

void PrintPreview::updatePreview() {
    WaitCursor wait;
    pageCount_ = std::max(1, document_->layOut(*printer_));
    page_ = std::clamp(page_, 1, pageCount_);
    pageTotal_->setText(QStringLiteral(" / %1 ").arg(pageCount_));
    showPage();
}

void PrintPreview::setCurrentPage(int page) {
    page = std::clamp(page, 1, std::max(1, pageCount_));
    if (page == page_) return;
    page_ = page;
    showPage();
}

void PrintPreview::setZoomFactor(double zoom) {
    zoom_ = std::clamp(zoom, 0.1, 8.0);
    fit_ = Fit::None;
    showPage();
}

void PrintPreview::fitToWidth() {
    fit_ = Fit::Width;
    showPage();
}

void PrintPreview::fitInView() {
    fit_ = Fit::Page;
    showPage();
}

double PrintPreview::scaleFor(Fit fit) const {
    const QSizeF paper = printer_->paperRect(QPrinter::DevicePixel).size();
    const QSize room = scroll_->viewport()->size() - QSize(2 * kPaperMargin, 2 * kPaperMargin);
    const double width = std::max(50, room.width()) / std::max(1.0, paper.width());
    const double height = std::max(50, room.height()) / std::max(1.0, paper.height());
    switch (fit) {
        case Fit::Width: return width;
        case Fit::Page: return std::min(width, height);
        case Fit::None: break;
    }
    return zoom_ * logicalDpiX() / std::max(1, printer_->logicalDpiX());
}

void PrintPreview::showPage() {
    if (pageCount_ == 0) return;  // not laid out yet
    const double scale = scaleFor(fit_);
    if (fit_ != Fit::None) zoom_ = scale * printer_->logicalDpiX() / std::max(1, logicalDpiX());
    const double paperWidth = printer_->paperRect(QPrinter::DevicePixel).width();
    const int width = std::max(1, int(std::lround(paperWidth * scale)));
    WaitCursor wait;
    pageView_->setPixmap(QPixmap::fromImage(renderPage(page_, width)));
    const QSignalBlocker quiet(pageBox_);
    pageBox_->setMaximum(pageCount_);
    pageBox_->setValue(page_);
}

QImage PrintPreview::renderPage(int page, int width) const {
    const QRectF paper = printer_->paperRect(QPrinter::DevicePixel);
    const QRectF pageRect = printer_->pageRect(QPrinter::DevicePixel);
    const double scale = double(width) / std::max(1.0, paper.width());
    QImage image(std::max(1, width), std::max(1, int(std::lround(paper.height() * scale))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    // The image claims the printer's resolution, so fonts are sized and measured as on
    // the printer and the page is laid out exactly as printed; the painter scales it down.
    image.setDotsPerMeterX(int(std::lround(printer_->logicalDpiX() / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(printer_->logicalDpiY() / 0.0254)));
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    painter.scale(scale, scale);
    painter.translate(pageRect.topLeft() - paper.topLeft());
    painter.setClipRect(QRectF(QPointF(0, 0), pageRect.size()));
    ++pagesDrawn_;
    document_->drawPage(painter, page);
    return image;
}

bool PrintPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize && fit_ != Fit::None)
        showPage();
    return QDialog::eventFilter(watched, event);
}

void PrintPreview::pageSetup() {
    QPageSetupDialog dialog(printer_, this);
    if (dialog.exec() == QDialog::Accepted) updatePreview();
}

void PrintPreview::printDocument() {
    if (printHandler) {
        printHandler();
        return;
    }
    if (printer_->outputFormat() != QPrinter::NativeFormat) {
        // The printer's file when it has one, else a name after the document in the folder
        // of the last PDF.
        QString proposed = printer_->outputFileName();
        if (proposed.isEmpty()) {
            QString name = printer_->docName();
            if (name.isEmpty() && parentWidget()) name = parentWidget()->window()->windowTitle();
            if (name.isEmpty()) name = QStringLiteral("印刷");
            proposed = proposedFilePath(FileKind::Pdf, name + QStringLiteral(".pdf"));
        }
        const QString file = chooseSaveFile(this, FileKind::Pdf, QStringLiteral("PDFファイル"),
                                            proposed, QStringLiteral("PDF (*.pdf)"));
        if (file.isEmpty()) return;
        printer_->setOutputFileName(file);
    } else {
        QPrintDialog dialog(printer_, this);
        if (dialog.exec() != QDialog::Accepted) return;
    }
    {
        // The pages are not turned while the printer draws them.
        WaitCursor wait;
        setEnabled(false);
        const auto enable = qScopeGuard([this] { setEnabled(true); });
        document_->print(*printer_);
    }
    accept();
}

}  // namespace quil::ui
