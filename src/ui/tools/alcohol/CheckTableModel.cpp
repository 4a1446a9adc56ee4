#include "ui/tools/alcohol/CheckTableModel.h"

#include <QBrush>

namespace quil::alcohol {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void CheckTableModel::setChecks(std::vector<AlcoholCheck> checks, RegisterNames names,
                                std::vector<Detector> detectors) {
    beginResetModel();
    checks_ = std::move(checks);
    names_ = std::move(names);
    detectors_ = std::move(detectors);
    endResetModel();
}

QString CheckTableModel::columnTitle(int column) {
    static const char* const titles[ColumnCount] = {
        "日付",         "時刻",     "区分",     "運転者", "車両(登録番号)", "確認方法", "検知器",
        "測定値(mg/L)", "酒気帯び", "指示事項", "確認者", "備考",           "削除"};
    return column >= 0 && column < ColumnCount ? QString::fromUtf8(titles[column]) : QString();
}

QString CheckTableModel::cellText(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(checks_.size())) return {};
    const AlcoholCheck& c = checks_[static_cast<std::size_t>(row)];
    switch (column) {
        case Date: return q(store::formatDate(c.when));
        case Time: return q(store::formatTime(c.when));
        case Timing: return q(timingName(c.timing));
        case Driver: return q(names_.driverName(c.driver));
        case Vehicle: return q(names_.vehicleLabel(c.vehicle));
        case Method: return q(methodLabel(c));
        case DetectorUsed:
            for (const Detector& d : detectors_)
                if (d.id == c.detector) return q(detectorLabel(d));
            return {};
        case Reading: return c.reading ? QString::number(*c.reading, 'f', 3) : QString();
        case Intoxicated: return c.intoxicated ? QStringLiteral("有") : QStringLiteral("無");
        case Instructions: return q(c.instructions);
        case Checker: return q(c.checker);
        case Remarks: return q(c.remarks);
        case Deleted:
            if (!c.deleted) return {};
            return q(store::formatDate(c.deletedAt) + " " + store::formatTime(c.deletedAt) + " " +
                     c.deletedBy);
        default: return {};
    }
}

int CheckTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(checks_.size());
}

int CheckTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CheckTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return cellText(index.row(), index.column());
    const AlcoholCheck& c = checks_[static_cast<std::size_t>(index.row())];
    if (role == Qt::ForegroundRole && c.deleted) return QBrush(Qt::gray);
    if (role == Qt::ForegroundRole && c.intoxicated) return QBrush(Qt::red);
    return {};
}

QVariant CheckTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return columnTitle(section);
    return section + 1;
}

}  // namespace quil::alcohol
