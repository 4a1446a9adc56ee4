#include "ui/tools/OdometerWarning.h"

#include <QEventLoop>
#include <QWidget>
#include <algorithm>
#include <exception>
#include <memory>

#include "reports/OdometerCheck.h"
#include "store/NumberFormat.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/AnalysisData.h"

namespace quil::analysis {

namespace {

struct Check {
    std::vector<analysis::OdometerFinding> findings;
    double limit = analysis::kDefaultDailyLimitKm;
};

// What the record breaks; no finding when the data set cannot be read. A data folder's file
// is searched for the record's place and read only around it, on this thread. A server data
// set hands over the vehicle's records to a connection of the check's own, opened on a
// worker while the window's events go on (a server slow to answer freezes nothing); a
// progress box over `parent` from a second on lets the user give up, which gives nullopt.
std::optional<Check> checkRecord(QWidget* parent, const ui::MainContext& context,
                                 const store::DataRecord& record,
                                 std::optional<std::int64_t> editPosition) {
    if (context.serverConninfo().empty()) {
        Check c;
        try {
            c.limit = openAnalysisStore(context)->dailyLimitKm();
            c.findings =
                analysis::checkNewReading(context.dataFolder(), record, editPosition, c.limit);
        } catch (const std::exception&) {
            c.findings.clear();
        }
        return c;
    }
    // One check at a time: an OK pressed again while one waits saves nothing.
    static bool waiting = false;
    if (waiting) return std::nullopt;
    struct Waiting {
        Waiting() { waiting = true; }
        ~Waiting() { waiting = false; }
    } const whileWaiting;

    // The dialog keeps its worker, so that a check given up goes on to its end unwaited.
    const QString name = QStringLiteral("OdometerCheckWork");
    ui::BackgroundWork* work =
        parent ? parent->findChild<ui::BackgroundWork*>(name, Qt::FindDirectChildrenOnly)
               : nullptr;
    std::unique_ptr<ui::BackgroundWork> own;
    if (!work) {
        work = new ui::BackgroundWork(parent, QStringLiteral("距離を確認しています…"));
        work->setObjectName(name);
        if (!parent) own.reset(work);
    }
    std::optional<Check> result;
    QEventLoop loop;
    QObject::connect(work, &ui::BackgroundWork::finished, &loop, &QEventLoop::quit);
    QObject::connect(work, &ui::BackgroundWork::cancelled, &loop, &QEventLoop::quit);
    work->start(
        [open = ui::dataSetOpener(context), openSettings = analysisStoreOpener(context), record,
         editPosition, &result]() -> ui::BackgroundWork::Apply {
            Check c;
            c.limit = openSettings()->dailyLimitKm();
            c.findings = analysis::checkNewReading(*open(), record, editPosition, c.limit);
            // Applied only while this call still waits: `result` is its own.
            return [&result, c = std::move(c)] { result = c; };
        },
        [&result](const std::exception&) { result = Check{}; });
    if (work->running()) loop.exec();
    work->disconnect(&loop);
    return result;
}

}  // namespace

QString OdometerWarning::text(const ui::MainContext& context, const store::DataRecord& record,
                              std::optional<std::int64_t> editPosition) {
    const std::optional<Check> c = checkRecord(nullptr, context, record, editPosition);
    return c ? questionOf(c->findings, c->limit) : QString();
}

QString OdometerWarning::questionOf(const std::vector<analysis::OdometerFinding>& findings,
                                    double limit) {
    if (findings.empty()) return {};
    const auto km = [](double v) { return QString::fromStdString(store::formatOneDecimal(v)); };
    QString lines;
    for (const analysis::OdometerFinding& f : findings) {
        const QString which = f.position < 0
                                  ? QStringLiteral("この記録")
                                  : QStringLiteral("次の記録 (%1)")
                                        .arg(QString::fromStdString(store::formatDate(f.date)));
        // What the reading is measured against: the last reading and when it was read, and
        // for a rise the days since and the distance a day that rise means, beside the limit
        // the check allows.
        const QString base =
            f.fromDeparture
                ? QStringLiteral("出庫の %1 km").arg(km(f.expectedLow))
                : QStringLiteral("前回 %1 の %2 km")
                      .arg(QString::fromStdString(store::formatDate(f.since)), km(f.expectedLow));
        QString measure;
        if (f.reading < f.expectedLow) {
            measure =
                QStringLiteral("%1 より %2 km 少ない").arg(base, km(f.expectedLow - f.reading));
        } else {
            const double days = std::max(1.0, f.days);
            measure = QStringLiteral(
                          "%1 から %2 日で %3 km 増、1 日あたり %4 km（想定は 1 日 %5 km まで）")
                          .arg(base, QString::number(days, 'f', 0), km(f.reading - f.expectedLow),
                               km((f.reading - f.expectedLow) / days), km(limit));
        }
        lines += QStringLiteral("・%1: %2\n　%3 km。%4\n")
                     .arg(which, QString::fromStdString(analysis::odometerProblemText(f.problem)),
                          km(f.reading), measure);
    }
    return QStringLiteral("距離が同じ車両の前後の記録とつながりません。\n") + lines +
           QStringLiteral("このまま保存しますか？");
}

bool OdometerWarning::confirm(QWidget* parent, const ui::MainContext& context,
                              const store::DataRecord& record,
                              std::optional<std::int64_t> editPosition) {
    const std::optional<Check> c = checkRecord(parent, context, record, editPosition);
    if (!c) return false;  // given up: the dialog stays open with what is typed
    const QString question = questionOf(c->findings, c->limit);
    if (question.isEmpty()) return true;
    // Enter keeps the doubtful reading out of the data set: No is the default.
    return ui::Prompts::current().questionDefaultNo(parent, QStringLiteral("距離の確認"), question,
                                                    ui::PromptIcon::Question);
}

}  // namespace quil::analysis
