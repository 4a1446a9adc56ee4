#include "ui/tools/alcohol/AlcoholWindows.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QStatusBar>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

#include "store/Period.h"
#include "store/RecordStore.h"
#include "store/StoreError.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/MainContext.h"
#include "ui/tools/alcohol/AlcoholStore.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"
#include "ui/tools/alcohol/TAlcoholListForm.h"
#include "ui/tools/alcohol/TAlcoholPrintForm.h"
#include "ui/tools/alcohol/TDetectorForm.h"
#include "ui/tools/alcohol/TMissingCheckForm.h"

namespace quil::alcohol {

namespace {

const QString kNoCount = QStringLiteral("アルコールチェック漏れ(今月): 数えられません");

// The toolbar icon, drawn rather than shipped: a check mark over a breath-test balloon.
QIcon registerIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 90, 160), 2));
    p.setBrush(QColor(210, 235, 255));
    p.drawEllipse(QRectF(3, 3, 26, 26));
    QFont font = p.font();
    font.setPixelSize(15);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, QStringLiteral("酒"));
    p.setPen(QPen(QColor(0, 150, 0), 3));
    p.drawLine(QPointF(17, 25), QPointF(22, 30));
    p.drawLine(QPointF(22, 30), QPointF(31, 17));
    return QIcon(pixmap);
}

void open(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

AlcoholWindows::AlcoholWindows(ui::MainContext& context, QMainWindow* main)
    : QObject(main), context_(context) {
    entryForm = new TAlcoholCheckForm(context, main);
    printForm = new TAlcoholPrintForm(context, main);
    listForm = new TAlcoholListForm(context, *entryForm, printForm, main);
    missingForm = new TMissingCheckForm(context, *entryForm, main);
    detectorForm = new TDetectorForm(context, main);

    toolBarAction_ = new QAction(registerIcon(), QStringLiteral("アルコールチェック"), main);
    toolBarAction_->setObjectName(QStringLiteral("AlcoholCheckButton"));
    toolBarAction_->setStatusTip(
        QStringLiteral("運転前・運転後のアルコールチェックを記録します。"));
    connect(toolBarAction_, &QAction::triggered, entryForm,
            qOverload<>(&TAlcoholCheckForm::openForAdd));
    // A copy that only reads the data folder records no check (the window is made once the
    // main window knows).
    toolBarAction_->setEnabled(!context.dataSetReadOnly());

    statusLabel_ = new QLabel(main);
    statusLabel_->setObjectName(QStringLiteral("AlcoholStatus"));
    main->statusBar()->addPermanentWidget(statusLabel_);
    refreshTimer_ = new QTimer(this);
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(0);
    connect(refreshTimer_, &QTimer::timeout, this, &AlcoholWindows::refreshStatus);

    // The month's drives are read quietly on a worker (a status line shows no progress box).
    drivesWork_ = new ui::BackgroundWork(main, {}, false);
    drivesWork_->setParent(this);

    ui::DataSetEvents::listen(this, [this](const store::DataSetChange& c) { followChange(c); });
    // The first count once the main window has started.
    scheduleRefresh();
}

void AlcoholWindows::followChange(const store::DataSetChange& c) {
    using What = store::DataSetChange::What;
    switch (c.what) {
        case What::RecordSaved:
            // The count follows the record itself, wherever the list shows it or not.
            if (c.previous) count_.removeRecord(*c.previous);
            count_.addRecord(c.record);
            break;
        case What::RecordDeleted: count_.removeRecord(c.record); break;
        case What::RecordsChanged:
            // One record of a server data set is followed as in a folder: this program's own
            // save (an edit tells the former record), a record another program added, or a
            // deleted one (its row keeps the record). An edit made elsewhere, whose former
            // record is not told, or a change of many records reads the month again.
            if (c.serverId && (c.serverDeleted || c.previous || c.isAddedElsewhere() ||
                               c.source == store::ChangeSource::ThisProgram)) {
                store::DataRecord record = c.record;
                record.setDeleted(false);
                if (c.serverDeleted) {
                    count_.removeRecord(record);
                } else {
                    if (c.previous) count_.removeRecord(*c.previous);
                    count_.addRecord(record);
                }
            } else {
                drivesRead_ = false;
            }
            break;
        case What::ItemsChanged: return;  // positions, not names, are counted
        case What::ExtensionChanged:
            if (c.part == store::ExtensionPart::AlcoholChecks) checksRead_ = false;
            if (c.part == store::ExtensionPart::Detectors) detectorsRead_ = false;
            if (c.part == store::ExtensionPart::MaintenanceCycles) return;
            break;
        case What::FolderChanged:
        case What::Replaced:
            // An open entry dialog belonged to the old data set and closes, as the record
            // entry dialog does; the lists follow by themselves.
            if (entryForm->isVisible()) entryForm->close();
            if (detectorForm->isVisible()) detectorForm->reload();
            drivesRead_ = checksRead_ = detectorsRead_ = false;
            break;
    }
    scheduleRefresh();
}

std::vector<AlcoholWindows::Command> AlcoholWindows::commands() {
    return {
        {QStringLiteral("アルコールチェックの記録(&A)..."), QStringLiteral("AlcoholCheck1"),
         [this] { entryForm->openForAdd(); }},
        {QStringLiteral("アルコールチェック記録簿(&L)..."), QStringLiteral("AlcoholList1"),
         [this] { open(listForm); }},
        {QStringLiteral("アルコールチェック漏れ(&N)..."), QStringLiteral("AlcoholMissing1"),
         [this] { open(missingForm); }},
        {QStringLiteral("アルコール検知器(&R)..."), QStringLiteral("AlcoholDetectors1"),
         [this] { open(detectorForm); }},
    };
}

void AlcoholWindows::scheduleRefresh() { refreshTimer_->start(); }

void AlcoholWindows::readParts(store::DateTime first, store::DateTime last) {
    readAgain_ = false;
    // The month's checks and those of the day after it (an overnight drive's return). A
    // new count of the drives takes the checks again. Without QuilExt.db no check has been
    // recorded; counting does not create it.
    struct Parts {
        std::optional<MissingCheckCount> count;
        std::optional<std::vector<AlcoholCheck>> checks;
        std::optional<std::vector<Detector>> detectors;
        int inspectionDays = kDefaultInspectionDays;
    };
    const bool drives = !drivesRead_ || count_.firstDay() != first || count_.lastDay() != last;
    const bool checks = drives || !checksRead_;
    const bool detectors = !detectorsRead_;
    drivesWork_->start(
        [this, first, last, drives, checks, detectors, folder = context_.dataFolder(),
         open = ui::dataSetOpener(context_), openChecks = checkStoreOpener(context_),
         withRegister = registerExists(context_)] {
            auto parts = std::make_shared<Parts>();
            if (drives) {
                parts->count.emplace();
                if (folder.empty())  // a server data set: the server picks the month's days
                    parts->count->load(*open(), first, last);
                else
                    parts->count->load(store::RecordStore(folder), first, last);
            }
            // On a server the register is a connection of this worker's own.
            const std::unique_ptr<CheckStore> store =
                withRegister && (checks || detectors) ? openChecks() : nullptr;
            if (checks) {
                CheckFilter filter;
                filter.firstDay = first;
                filter.lastDay = last + 1;
                parts->checks = store ? store->load(filter) : std::vector<AlcoholCheck>{};
            }
            if (detectors) {
                parts->detectors = store ? store->detectors() : std::vector<Detector>{};
                if (store) parts->inspectionDays = store->inspectionDays();
            }
            return ui::BackgroundWork::Apply([this, parts] {
                // What was read may miss a change made meanwhile: it is read again.
                if (readAgain_) return refreshStatus();
                if (parts->count) {
                    count_ = std::move(*parts->count);
                    drivesRead_ = true;
                }
                if (parts->checks) {
                    count_.setChecks(*parts->checks);
                    checksRead_ = true;
                }
                if (parts->detectors) {
                    detectors_ = std::move(*parts->detectors);
                    inspectionDays_ = parts->inspectionDays;
                    detectorsRead_ = true;
                }
                refreshStatus();
            });
        },
        [this](const std::exception& e) { countFailed(e); });
}

void AlcoholWindows::countFailed(const std::exception& e) {
    drivesRead_ = checksRead_ = detectorsRead_ = false;  // read again next time
    statusLabel_->setText(kNoCount);
    if (dynamic_cast<const store::StoreError*>(&e)) return;
    const std::string failure = e.what();
    if (failure == reportedFailure_) return;
    reportedFailure_ = failure;
    ui::reportError(e, statusLabel_->window());
}

void AlcoholWindows::refreshStatus() {
    // The data set changed while the worker reads: what it reads is read again when it comes.
    if (drivesWork_->running()) {
        readAgain_ = true;
        return;
    }
    // A status line is no command: a count that cannot be made says so in short, and the
    // failure goes to the one error report, once (the count runs again after every change).
    // The record files' failures are the main window's to report: its list reads them too.
    try {
        const store::DateTime now = store::now();
        const store::CivilDate today = store::decodeDate(now);
        const store::PeriodRange month = store::periodRange(store::PeriodKind::Month, today.year,
                                                            static_cast<int>(today.month) - 1);
        // The record file is read once, and again only for a new month or a data set
        // changed as a whole; every saved or deleted record is counted as it comes. The
        // checks and the detectors are read again after a change of theirs. All of it is
        // read on a worker: on a server each store opened is a connection.
        if (!drivesRead_ || !checksRead_ || !detectorsRead_ || count_.firstDay() != month.first ||
            count_.lastDay() != month.last) {
            readParts(month.first, month.last);
            return;
        }
        QString text = QStringLiteral("アルコールチェック漏れ(今月): %1件").arg(count_.count(now));
        int overdue = 0;
        for (const Detector& d : detectors_)
            overdue += inspectionOverdue(d, now, inspectionDays_) ? 1 : 0;
        if (overdue > 0) text += QStringLiteral("　検知器の点検期限切れ: %1台").arg(overdue);
        statusLabel_->setText(text);
        reportedFailure_.clear();
    } catch (const std::exception& e) {
        countFailed(e);
    }
}

}  // namespace quil::alcohol
