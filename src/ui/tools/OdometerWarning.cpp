#include "ui/tools/OdometerWarning.h"

#include <algorithm>
#include <exception>

#include "reports/OdometerCheck.h"
#include "store/NumberFormat.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/AnalysisData.h"

namespace quil::insight {

QString OdometerWarning::text(const ui::MainContext& context, const store::DataRecord& record,
                              std::optional<std::int64_t> editPosition) {
    std::vector<fleet::OdometerFinding> findings;
    double limit = fleet::kDefaultDailyLimitKm;
    try {
        limit = openAnalysisStore(context)->dailyLimitKm();
        // A data folder's file is searched for the record's place and read only around it;
        // a server data set hands over the vehicle's records.
        findings =
            context.serverConninfo().empty()
                ? fleet::checkNewReading(context.dataFolder(), record, editPosition, limit)
                : fleet::checkNewReading(*ui::openDataSet(context), record, editPosition, limit);
    } catch (const std::exception&) {
        return {};
    }
    if (findings.empty()) return {};
    const auto km = [](double v) { return QString::fromStdString(store::formatOneDecimal(v)); };
    QString lines;
    for (const fleet::OdometerFinding& f : findings) {
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
                     .arg(which, QString::fromStdString(fleet::odometerProblemText(f.problem)),
                          km(f.reading), measure);
    }
    return QStringLiteral("距離が同じ車両の前後の記録とつながりません。\n") + lines +
           QStringLiteral("このまま保存しますか？");
}

bool OdometerWarning::confirm(QWidget* parent, const ui::MainContext& context,
                              const store::DataRecord& record,
                              std::optional<std::int64_t> editPosition) {
    const QString question = text(context, record, editPosition);
    if (question.isEmpty()) return true;
    // Enter keeps the doubtful reading out of the data set: No is the default.
    return ui::Prompts::current().questionDefaultNo(parent, QStringLiteral("距離の確認"), question,
                                                    ui::PromptIcon::Question);
}

}  // namespace quil::insight
