#include "ui/windows/TCalForm.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>
#include <algorithm>
#include <tuple>
#include <utility>

#include "ui/printing/PrintPreview.h"
#include "ui/printing/PrintTarget.h"
#include "ui/printing/TGridPrinter.h"
#include "store/Date.h"
#include "store/Records.h"
#include "ui/components/PeriodChoice.h"
#include "ui/components/QtText.h"
#include "ui/components/TComboGrid.h"
#include "ui/components/UpDownArrows.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"

namespace quil::ui {

namespace {

constexpr const char* kSummaryNames[] = {
    "走行距離－車両別", "走行距離－使用者別", "走行距離－使用目的別",
    "使用回数－車両別", "使用回数－使用者別", "使用回数－使用目的別",
    "給油量－車両別",   "給油回数－車両別",   "出費－車両別"};

QString padRight(const std::string& s, int width) {
    return qs(s) + QString(std::max(0, width - displayWidth(s)), QLatin1Char(' '));
}
QString padLeft(const std::string& s, int width) {
    return QString(std::max(0, width - displayWidth(s)), QLatin1Char(' ')) + qs(s);
}

}  // namespace

TCalForm::TCalForm(MainContext& context, QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint), context_(context) {
    setObjectName(QStringLiteral("CalForm"));
    setWindowTitle(QStringLiteral("集計表"));
    resize(460, 380);
    setMinimumSize(420, 200);
    work_ = new BackgroundWork(this);

    BitBtn1 = new QPushButton(QStringLiteral("閉じる"), this);
    BitBtn2 = new QPushButton(QStringLiteral("印刷(&P)"), this);
    ComboBox1 = new QComboBox(this);
    Button1 = new QPushButton(QStringLiteral("集計"), this);
    Edit1 = new QLineEdit(this);
    UpDown1 = new QWidget(this);
    ComboBox2 = new QComboBox(this);
    Memo1 = new QPlainTextEdit(this);
    NoteLabel = new QLabel(
        QStringLiteral("※メイン画面の表示車両・使用者の指定に関係なく、全ての記録を集計します。"),
        this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    Memo1->setObjectName(QStringLiteral("Memo1"));
    for (QPushButton* b : {BitBtn1, BitBtn2, Button1}) b->setAutoDefault(false);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, ComboBox1);
    setTabOrder(ComboBox1, Button1);
    setTabOrder(Button1, Edit1);
    setTabOrder(Edit1, ComboBox2);
    setTabOrder(ComboBox2, Memo1);

    std::tie(up_, down_) = addUpDownArrows(UpDown1);
    connect(up_, &QToolButton::clicked, this, [this] { stepYear(1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepYear(-1); });

    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Names and figures line up only in a font whose kanji are two digits wide.
    QFont mono(QStringLiteral("Noto Sans Mono CJK JP"));
    mono.setStyleHint(QFont::Monospace);
    mono.setFixedPitch(true);
    Memo1->setFont(mono);

    auto* label1 = new QLabel(QStringLiteral("期間"), this);
    auto* label2 = new QLabel(QStringLiteral("集計条件"), this);
    label1->setGeometry(8, 10, 40, 20);
    Edit1->setGeometry(50, 8, 50, 24);
    UpDown1->setGeometry(100, 8, 16, 24);
    ComboBox1->setGeometry(120, 8, 130, 24);
    Button1->setGeometry(260, 8, 75, 24);
    label2->setGeometry(8, 40, 60, 20);
    ComboBox2->setGeometry(70, 38, 180, 24);
    BitBtn2->setGeometry(260, 38, 75, 24);
    BitBtn1->setGeometry(340, 38, 75, 24);
    NoteLabel->setGeometry(8, 66, 440, 18);
    Memo1->move(8, 86);

    SummaryGrid = new TComboGrid(this);
    SummaryPrinter = new TGridPrinter(this);
    setUpListPrint(*SummaryPrinter, *SummaryGrid, 60, 110);
    SummaryPrinter->OnHeader = [this](QObject*, int&, int, int y) {
        SummaryPrinter->TextOutAt(SummaryPrinter->LeftMargin, y, lastHeading_);
        SummaryPrinter->TextOutAt(SummaryPrinter->LeftMargin, y + 30, lastPeriod_);
    };

    connect(Button1, &QPushButton::clicked, this, &TCalForm::Button1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TCalForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TCalForm::BitBtn2Click);
    FormCreate(mainWindow);
    // A summary on screen follows every change of the records or the items: a record it
    // takes in place, anything else by summing again.
    DataSetEvents::refreshWhileOpen(
        this,
        [this] {
            if (ran_) Button1Click();
        },
        [this](const store::DataSetChange& c) { return needsSumming(c); });
}

bool TCalForm::needsSumming(const store::DataSetChange& c) {
    if (c.what == store::DataSetChange::What::ExtensionChanged) return false;
    // A sum under way may have read the data set before the change.
    if (work_->running()) return true;
    if (!ran_) return false;
    // Deleted elsewhere without its former record: the deleted bytes may be a version this
    // window never summed (an edit not heard before the delete).
    if (c.serverDeleted && c.source == store::ChangeSource::Elsewhere && !c.previous) return true;
    const auto swap = c.swap();
    if (!swap) return true;
    const bool takes = (swap->before && summaryTakes(last_, *swap->before)) ||
                       (swap->after && summaryTakes(last_, *swap->after));
    if (!takes) return false;
    followRecord(last_, swap->before, swap->after);
    showSummary({lastHeading_, QStringLiteral(" "), lastPeriod_});
    return false;
}

TCalForm::~TCalForm() = default;

void TCalForm::FormCreate(QWidget* mainWindow) {
    placeBesideMainWindow(*this, mainWindow, kBesideMain);
    Edit1->setText(QString::number(store::decodeDate(store::today()).year));
    period_ = PeriodChoice::flat(ComboBox1, {Edit1, UpDown1}, PeriodChoice::YearWhenAll::Hide);
    for (const char* name : kSummaryNames) ComboBox2->addItem(QString::fromUtf8(name));
    ComboBox2->setCurrentIndex(0);
    ComboBox1Change();
    FormResize();
}

void TCalForm::ComboBox1Change() { period_->showYearControls(); }

void TCalForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FormResize();
}

void TCalForm::FormResize() {
    const QSize outer = frameGeometry().size();
    Memo1->resize(std::max(0, outer.width() - 30), std::max(0, outer.height() - 120));
    NoteLabel->resize(std::max(0, outer.width() - 16), NoteLabel->height());
}

void TCalForm::stepYear(int delta) {
    bool ok = false;
    int year = Edit1->text().trimmed().toInt(&ok);
    if (!ok) year = store::decodeDate(store::today()).year;
    Edit1->setText(QString::number(std::clamp(year + delta, 1950, 2050)));
}

QString TCalForm::heading() const {
    const int i = ComboBox2->currentIndex();
    return QString::fromUtf8(kSummaryNames[i >= 0 && i <= 7 ? i : 8]);
}

QString TCalForm::periodLine() const {
    return QStringLiteral("期間:") +
           (store::hasStoredPeriod(period_->kind()) ? Edit1->text() : QString()) +
           ComboBox1->currentText();
}

void TCalForm::Button1Click() { summarize({}); }

void TCalForm::summarize(std::function<void()> then) {
    const bool hasYear = store::hasStoredPeriod(period_->kind());
    bool ok = true;
    const int year = hasYear ? Edit1->text().trimmed().toInt(&ok) : 0;
    if (!ok || (hasYear && (year < 1 || year > 9998))) {
        Prompts::current().warning(this, QStringLiteral("年を正しく入力してください。"));
        Edit1->setFocus();
        return;
    }
    const SummaryKind kind = summaryKindFromIndex(ComboBox2->currentIndex());
    lastHeading_ = heading();
    lastPeriod_ = periodLine();
    Memo1->clear();
    QStringList lines = {lastHeading_, QStringLiteral(" "), lastPeriod_};
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    // The figures are summed on a worker with its own access to the data set; a data set
    // that cannot be read (a damaged folder, a server out of reach) ends the command at the
    // application's error report.
    work_->start([this, kind, lines, then, open = dataSetOpener(context_),
                  period = summaryPeriodFromIndex(std::max(0, ComboBox1->currentIndex())),
                  year] {
        auto result = std::make_shared<SummaryResult>(computeSummary(*open(), kind, period, year));
        return BackgroundWork::Apply([this, kind, lines, then, result] {
            last_ = std::move(*result);
            lastKind_ = kind;
            ran_ = true;
            showSummary(lines);
            if (then) then();
        });
    });
}

void TCalForm::showSummary(QStringList lines) {
    const SummaryKind kind = lastKind_;
    if (!last_.itemFileFound) return;

    // Column widths: the longest name (or 合計) and, per figure, the longest text.
    std::vector<std::pair<std::string, SummaryFigures>> rows;
    for (const SummaryLine& l : last_.groups) rows.emplace_back(l.name, l.figures);
    if (last_.hasOthers) rows.emplace_back(store::kOtherName, last_.others);
    int nameWidth = displayWidth("合計");
    for (const auto& r : rows) nameWidth = std::max(nameWidth, displayWidth(r.first));
    const std::vector<std::string> titles = figureTitles(kind);
    std::vector<int> widths;
    for (const std::string& t : titles) widths.push_back(displayWidth(t));
    auto widen = [&](const SummaryFigures& f) {
        const auto texts = figureTexts(kind, f);
        for (std::size_t i = 0; i < texts.size(); ++i)
            widths[i] = std::max(widths[i], displayWidth(texts[i]));
    };
    for (const auto& r : rows) widen(r.second);
    widen(last_.total);
    auto line = [&](const std::string& name, const std::vector<std::string>& cells) {
        QString s = padRight(name, nameWidth);
        for (std::size_t i = 0; i < cells.size(); ++i)
            s += QStringLiteral("  ") + padLeft(cells[i], widths[i]);
        return s;
    };
    if (titles.size() > 1) lines << line("", titles);
    for (const auto& r : rows) lines << line(r.first, figureTexts(kind, r.second));
    lines << line("合計", figureTexts(kind, last_.total));
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
}

void TCalForm::fillSummaryGrid() {
    if (!ran_) Button1Click();
    const std::vector<std::string> titles = figureTitles(lastKind_);
    const int cols = 1 + int(titles.size());
    std::vector<std::pair<std::string, SummaryFigures>> rows;
    for (const SummaryLine& l : last_.groups) rows.emplace_back(l.name, l.figures);
    if (last_.hasOthers) rows.emplace_back(store::kOtherName, last_.others);
    if (last_.itemFileFound) rows.emplace_back("合計", last_.total);
    SummaryGrid->setColCount(cols);
    SummaryGrid->setRowCount(1 + std::max<int>(1, int(rows.size())));
    QStringList head = {qs(store::itemKindName(summaryGroupKind(lastKind_)))};
    for (const std::string& t : titles) head << qs(t);
    SummaryGrid->setRowTexts(0, head);
    // The group's name, then its figures.
    constexpr int kNameColumn = 0, kFirstFigureColumn = 1;
    SummaryGrid->setColWidths(kNameColumn, 200);
    for (int c = kFirstFigureColumn; c < cols; ++c) {
        SummaryGrid->setColWidths(c, 120);
        SummaryGrid->CellKind(c).setAlignment(20);  // figures to the right
    }
    if (rows.empty()) SummaryGrid->setRowTexts(1, QStringList(cols, QString()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QStringList texts = {qs(rows[r].first)};
        for (const std::string& t : figureTexts(lastKind_, rows[r].second)) texts << qs(t);
        SummaryGrid->setRowTexts(int(r) + 1, texts);
    }
}

int TCalForm::printSummary(QPrinter& target) {
    target.setPageOrientation(QPageLayout::Portrait);
    keepPrintableMargins(target);
    target.setDocName(QStringLiteral("集計表"));
    return SummaryPrinter->Print(target);
}

void TCalForm::BitBtn2Click() {
    if (!ran_) {  // the table is summed first, then previewed
        summarize([this] { BitBtn2Click(); });
        return;
    }
    fillSummaryGrid();
    auto document = std::make_unique<GridPrinterDocument>(
        *SummaryPrinter,
        [](QPrinter& target) {
            target.setPageOrientation(QPageLayout::Portrait);
            keepPrintableMargins(target);
            target.setDocName(QStringLiteral("集計表"));
        },
        [this](QPrinter& target) { printSummary(target); });
    auto* preview = new PrintPreview(nullptr, std::move(document), this);
    preview->setObjectName(QStringLiteral("SummaryPreview"));
    preview->setWindowTitle(QStringLiteral("集計表－印刷プレビュー"));
    preview->open();
}

void TCalForm::BitBtn1Click() { close(); }

}  // namespace quil::ui
