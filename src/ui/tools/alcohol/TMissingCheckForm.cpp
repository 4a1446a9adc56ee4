#include "ui/tools/alcohol/TMissingCheckForm.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

#include "ext/ExtDatabase.h"
#include "store/DataStore.h"
#include "reports/RegisterNames.h"
#include "store/Settings.h"
#include "ui/components/WholeRowView.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/FreeMemory.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/tools/alcohol/AlcoholStore.h"
#include "ui/tools/alcohol/PeriodChooser.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"

namespace quil::alcohol {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

// The missing checks as found, one row each; a cell's text is made when it is asked for.
class MissingCheckModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    enum Column {
        DateColumn,
        DepartureColumn,
        ReturnColumn,
        DriverColumn,
        VehicleColumn,
        BeforeCheckColumn,
        AfterCheckColumn,
        ColumnCount
    };

    const std::vector<MissingCheck>& rows() const { return rows_; }
    void reset(std::vector<MissingCheck> rows, RegisterNames names) {
        beginResetModel();
        rows_ = std::move(rows);
        names_ = std::move(names);
        endResetModel();
    }
    // Takes out the row of the drive `id`, if shown, and puts `row` (if any) where the
    // drives' order (date, vehicle, driver) places it, after the rows of the same place.
    void replaceDrive(std::int64_t id, const std::optional<MissingCheck>& row) {
        const auto shown = std::find_if(rows_.begin(), rows_.end(), [&](const MissingCheck& m) {
            return m.drive.position == id;
        });
        if (shown != rows_.end()) {
            const int at = int(shown - rows_.begin());
            beginRemoveRows({}, at, at);
            rows_.erase(shown);
            endRemoveRows();
        }
        if (!row) return;
        const auto key = [](const MissingCheck& m) {
            return std::tuple(m.drive.departure, m.drive.vehicle, m.drive.driver);
        };
        const auto place = std::upper_bound(
            rows_.begin(), rows_.end(), *row,
            [&](const MissingCheck& a, const MissingCheck& b) { return key(a) < key(b); });
        const int at = int(place - rows_.begin());
        beginInsertRows({}, at, at);
        rows_.insert(place, *row);
        endInsertRows();
    }
    // Shows nothing and lets go of the rows' memory.
    void clear() {
        beginResetModel();
        rows_ = std::vector<MissingCheck>();  // `= {}` would keep the capacity
        names_ = RegisterNames();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : ColumnCount;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const titles[ColumnCount] = {"日付", "出庫",   "入庫",  "運転者",
                                                        "車両", "運転前", "運転後"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < ColumnCount)
            return QString::fromUtf8(titles[section]);
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        const MissingCheck& m = rows_[std::size_t(index.row())];
        const int c = index.column();
        // The two check columns: "未確認" in red where the check is missing.
        const bool lacking = (c == BeforeCheckColumn && m.beforeMissing) ||
                             (c == AfterCheckColumn && m.afterMissing);
        if (role == Qt::ForegroundRole) return lacking ? QVariant(QBrush(Qt::red)) : QVariant();
        if (role != Qt::DisplayRole) return {};
        const Drive& d = m.drive;
        switch (c) {
            case DateColumn: return q(store::formatDate(d.departure));
            case DepartureColumn: return q(store::formatTime(d.departure));
            case ReturnColumn:
                return d.returnTime > 0 ? q(store::formatTime(d.returnTime)) : QString();
            case DriverColumn: return q(names_.driverName(d.driver));
            case VehicleColumn: return q(names_.vehicleLabel(d.vehicle));
            case BeforeCheckColumn:
            case AfterCheckColumn: return lacking ? QStringLiteral("未確認") : QStringLiteral("済");
            default: return {};
        }
    }

private:
    std::vector<MissingCheck> rows_;
    RegisterNames names_;
};

namespace {

// What the missing checks are read from, taken on the window's thread so that a worker can
// open its own accesses: a connection of its own, or its own handles of the folder's files.
struct MissingSource {
    std::string conninfo;
    std::string folder;
    ui::DataSetOpener open;
    ui::ServerOpeners::Open<CheckStore> openChecks;

    explicit MissingSource(const ui::MainContext& context)
        : conninfo(context.serverConninfo()),
          folder(context.dataFolder()),
          open(ui::dataSetOpener(context)),
          openChecks(context.serverOpeners().checks) {}
    bool registerExists() const { return !conninfo.empty() || ext::ExtDatabase::exists(folder); }
    std::unique_ptr<CheckStore> checkStore() const {
        if (!conninfo.empty()) return ui::openOnServer(openChecks, conninfo);
        return std::make_unique<AlcoholStore>(folder);
    }
    RegisterNames names() const {
        return conninfo.empty() ? RegisterNames::load(folder) : RegisterNames::load(*open());
    }
};

// The missing checks of the period's drives: of every one, or of the drive `only` is (none
// when it is none of the period), with the checks of its driver's days alone.
std::vector<MissingCheck> missingChecksFrom(const MissingSource& source, store::DateTime firstDay,
                                            store::DateTime lastDay, store::DateTime now,
                                            const std::optional<store::StoredRecord>& only = {}) {
    lastDay = std::min(store::dateOnly(lastDay), store::dateOnly(now));
    if (lastDay < store::dateOnly(firstDay)) return {};
    std::vector<Drive> drives = only ? drivesAmong({*only}, firstDay, lastDay)
                                     : drivesBetween(*source.open(), firstDay, lastDay);
    std::erase_if(drives, [now](const Drive& d) { return d.departure > now; });
    if (drives.empty()) return {};
    CheckFilter filter;
    filter.firstDay = firstDay;
    // An overnight drive's after-check lies on the day after the last one.
    filter.lastDay = lastDay + 1;
    if (only) {
        filter.driver = drives.front().driver;
        filter.firstDay = store::dateOnly(drives.front().departure);
        filter.lastDay = drives.front().returnDay();
    }
    // Without QuilExt.db no check has been recorded; counting does not create the file.
    if (!source.registerExists()) return findMissingChecks(drives, {});
    return findMissingChecks(drives, source.checkStore()->load(filter));
}

}  // namespace

std::vector<MissingCheck> missingChecksBetween(const ui::MainContext& context,
                                               store::DateTime firstDay, store::DateTime lastDay,
                                               store::DateTime now) {
    return missingChecksFrom(MissingSource(context), firstDay, lastDay, now);
}

TMissingCheckForm::TMissingCheckForm(ui::MainContext& context, TAlcoholCheckForm& entry,
                                     QWidget* parent)
    : FormDialog(parent), context_(context), entry_(entry) {
    setObjectName(QStringLiteral("MissingCheckForm"));
    setWindowTitle(QStringLiteral("アルコールチェック漏れ"));
    period = new PeriodChooser(this);
    model_ = new MissingCheckModel(this);
    table = ui::newWholeRowTable(this, model_, QStringLiteral("MissingTable"));
    countLabel = new QLabel(this);
    enterButton = new QPushButton(QStringLiteral("チェックを入力(&A)..."), this);
    closeButton = new QPushButton(QStringLiteral("閉じる"), this);
    for (QPushButton* b : {enterButton, closeButton}) b->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("期間"), this));
    top->addWidget(period);
    top->addStretch();
    top->addWidget(countLabel);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(enterButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table, 1);
    layout->addLayout(buttons);
    resize(760, 480);
    work_ = new ui::BackgroundWork(this, QStringLiteral("チェック漏れを探しています…"));

    connect(period, &PeriodChooser::changed, this, &TMissingCheckForm::reload);
    connect(enterButton, &QPushButton::clicked, this, &TMissingCheckForm::enterSelected);
    connect(table, &QTableView::doubleClicked, this, &TMissingCheckForm::enterSelected);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    // The drives and checks shown follow every change of either, and of the names; a record
    // that is no drive of the period shown, before and after the change, changes nothing.
    // Other programs' changes, heard one by one, are read once a moment after the first.
    auto* grouped = new QTimer(this);
    grouped->setSingleShot(true);
    grouped->setInterval(ui::DataSetEvents::kElsewhereGroupMs);
    connect(grouped, &QTimer::timeout, this, [this] {
        if (isVisible()) reload();
    });
    ui::DataSetEvents::listen(this, [this, grouped](const store::DataSetChange& c) {
        if (!isVisible() || !movesRows(c) || followInPlace(c)) return;
        if (c.source == store::ChangeSource::ThisProgram)
            reload();
        else if (!grouped->isActive())
            grouped->start();
    });
    ui::placeBesideMainWindow(*this, context_.mainWidget(), ui::kBesideMain);
}

bool TMissingCheckForm::movesRows(const store::DataSetChange& c) const {
    if (c.what == store::DataSetChange::What::ExtensionChanged)
        return c.part == store::ExtensionPart::AlcoholChecks;
    const auto records = c.touchedRecords();
    if (!records) return true;
    const auto range = period->range();
    return std::any_of(records->begin(), records->end(), [&](const store::DataRecord& r) {
        if (r.kind() != static_cast<std::int16_t>(store::RecordKind::Driving)) return false;
        const double day = std::floor(r.date());
        return !range || !std::isfinite(day) ||
               (day >= std::floor(range->first) && day <= std::floor(range->last));
    });
}

bool TMissingCheckForm::followInPlace(const store::DataSetChange& c) {
    if (!c.serverId || !shown_ || work_->running()) return false;
    const auto swap = c.swap();
    if (!swap) return false;
    const auto range = period->range();
    const store::DateTime first = range ? range->first : store::encodeDate(1, 1, 1);
    const store::DateTime last = range ? range->last : store::encodeDate(9999, 12, 31);
    std::optional<store::StoredRecord> now;
    if (swap->after) now = store::StoredRecord{*c.serverId, 0, *swap->after};
    work_->start([this, source = MissingSource(context_), id = *c.serverId, now, first, last,
                  at = store::now()] {
        std::optional<MissingCheck> row;
        if (now) {
            const auto found = missingChecksFrom(source, first, last, at, now);
            if (!found.empty()) row = found.front();
        }
        return ui::BackgroundWork::Apply([this, id, row] {
            model_->replaceDrive(id, row);
            countLabel->setText(QStringLiteral("チェック漏れ: %1件").arg(missing().size()));
        });
    });
    return true;
}

void TMissingCheckForm::FormShow() {
    period->chooseStoredOnce(context_.programFolder());
    reload();
}

void TMissingCheckForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous()) return;  // minimised: the rows stay
    work_->cancel();                   // a search under way brings nothing to a closed window
    shown_ = false;
    model_->clear();
    countLabel->clear();
    ui::giveFreeMemoryBack();
}

const std::vector<MissingCheck>& TMissingCheckForm::missing() const { return model_->rows(); }

void TMissingCheckForm::reload() {
    const auto range = period->range();
    const store::DateTime first = range ? range->first : store::encodeDate(1, 1, 1);
    const store::DateTime last = range ? range->last : store::encodeDate(9999, 12, 31);
    model_->clear();  // the former rows go first, so two lists never live at once
    countLabel->clear();
    shown_ = false;
    // The drives and checks are read and matched on a worker; the rows come whole, as
    // one vector handed over to the model.
    work_->start([this, source = MissingSource(context_), first, last, now = store::now()] {
        auto rows = std::make_shared<std::vector<MissingCheck>>(
            missingChecksFrom(source, first, last, now));
        auto names = std::make_shared<RegisterNames>(source.names());
        return ui::BackgroundWork::Apply([this, rows, names] {
            model_->reset(std::move(*rows), std::move(*names));
            shown_ = true;
            table->resizeColumnsToContents();
            countLabel->setText(QStringLiteral("チェック漏れ: %1件").arg(missing().size()));
        });
    });
}

void TMissingCheckForm::enterSelected() {
    const int row = table->currentIndex().row();
    if (row < 0 || row >= static_cast<int>(missing().size())) return;
    const MissingCheck& m = missing()[static_cast<std::size_t>(row)];
    AlcoholCheck preset;
    preset.driver = m.drive.driver;
    preset.vehicle = m.drive.vehicle;
    if (m.beforeMissing) {
        preset.timing = CheckTiming::BeforeDrive;
        preset.when = m.drive.departure;
    } else {
        preset.timing = CheckTiming::AfterDrive;
        preset.when =
            m.drive.returnTime > m.drive.departure ? m.drive.returnTime : m.drive.departure;
    }
    entry_.openForAdd(preset);
}

}  // namespace quil::alcohol
