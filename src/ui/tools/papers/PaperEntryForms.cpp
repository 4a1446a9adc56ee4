#include "ui/tools/papers/PaperEntryForms.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "store/DataStore.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"

namespace quil::papers {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string u(const QLineEdit* e) { return e->text().trimmed().toStdString(); }
QString dateText(store::DateTime d) { return d > 0 ? q(store::formatDate(d)) : QString(); }

using alcohol::RegisterNames;

// What tells the two kinds of entry apart: the item an entry belongs to, the order of its
// history, the items of that kind and their names, and the store's calls for the kind.
template <typename Entry>
struct EntryKind {
    int Entry::*item;
    const std::vector<alcohol::PickEntry>& (RegisterNames::*items)() const;
    std::string (RegisterNames::*name)(int position) const;
    std::int64_t (PaperStore::*add)(const Entry&);
    void (PaperStore::*correct)(const Entry& was, const Entry& now);
    void (PaperStore::*remove)(const Entry& was);
    bool newestFirst;  // the history from the last entry the store reads to the first
};

template <typename Entry>
constexpr EntryKind<Entry> kKind{};
template <>
constexpr EntryKind<DriverLicence> kKind<DriverLicence>{&DriverLicence::driver,
                                                        &RegisterNames::drivers,
                                                        &RegisterNames::driverName,
                                                        &PaperStore::addLicence,
                                                        &PaperStore::correctLicence,
                                                        &PaperStore::removeLicence,
                                                        true};
template <>
constexpr EntryKind<VehiclePaper> kKind<VehiclePaper>{&VehiclePaper::vehicle,
                                                      &RegisterNames::vehicles,
                                                      &RegisterNames::vehicleLabel,
                                                      &PaperStore::addPaper,
                                                      &PaperStore::correctPaper,
                                                      &PaperStore::removePaper,
                                                      false};

// The entry `id` of `entries`; nullptr when it is not among them.
template <typename Entry>
const Entry* entryWithId(const std::vector<Entry>& entries, std::int64_t id) {
    const auto it =
        std::find_if(entries.begin(), entries.end(), [id](const Entry& e) { return e.id == id; });
    return it == entries.end() ? nullptr : &*it;
}

// What a renewal of a paper proposes: 車検 and 自賠責 two years on, the rest a year (a
// licence three years, its usual term).
int renewalMonths(PaperKind kind) {
    return kind == PaperKind::Inspection || kind == PaperKind::Compulsory ? 24 : 12;
}

}  // namespace

PaperEntryForm::PaperEntryForm(ui::MainContext& context, QWidget* mainWindow,
                               const QString& caption, PaperStores stores)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowCloseButtonHint),
      context_(context),
      stores_(std::move(stores)) {
    setWindowTitle(caption);
    ItemBox = new QComboBox(this);
    ItemBox->setObjectName(QStringLiteral("ItemBox"));
    HistoryTable = new QTableWidget(this);
    HistoryTable->setObjectName(QStringLiteral("HistoryTable"));
    HistoryTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    HistoryTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    HistoryTable->verticalHeader()->hide();
    HistoryTable->horizontalHeader()->setStretchLastSection(true);
    CopyButton = new QPushButton(QStringLiteral("更新の内容を写す(&C)"), this);
    SaveButton = new QPushButton(QStringLiteral("登録(&S)"), this);
    CorrectButton = new QPushButton(QStringLiteral("修正(&M)"), this);
    DeleteButton = new QPushButton(QStringLiteral("削除"), this);
    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    for (QPushButton* b : {CopyButton, SaveButton, CorrectButton, DeleteButton, CloseButton})
        b->setAutoDefault(false);
    fields_ = new QFormLayout;

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CopyButton);
    buttons->addStretch();
    buttons->addWidget(SaveButton);
    buttons->addWidget(CorrectButton);
    buttons->addWidget(DeleteButton);
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ItemBox);
    layout->addWidget(new QLabel(QStringLiteral("登録済み（灰色は更新済みの履歴）"), this));
    layout->addWidget(HistoryTable, 1);
    layout->addLayout(fields_);
    layout->addLayout(buttons);
    resize(700, 520);

    connect(ItemBox, &QComboBox::currentIndexChanged, this, [this] { showHistory(); });
    connect(CopyButton, &QPushButton::clicked, this, [this] { copyCurrent(); });
    connect(SaveButton, &QPushButton::clicked, this, &PaperEntryForm::save);
    connect(CorrectButton, &QPushButton::clicked, this, &PaperEntryForm::correct);
    connect(DeleteButton, &QPushButton::clicked, this, &PaperEntryForm::removeSelected);
    // A chosen row of the history shows its fields, to be corrected.
    connect(HistoryTable, &QTableWidget::itemSelectionChanged, this, [this] {
        if (const std::int64_t id = selectedId()) loadEntry(id);
    });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
    // Entries stored elsewhere (another window, another computer) show while open.
    ui::DataSetEvents::refreshWhileOpen(this, [this] { reload(); }, changesPapers);
    ui::placeBesideMainWindow(*this, mainWindow, ui::kBesideMain);
}

QLineEdit* PaperEntryForm::addField(const QString& caption, const char* name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    fields_->addRow(caption, edit);
    edits_.push_back(edit);
    return edit;
}

void PaperEntryForm::openFor(int position) {
    show();
    raise();
    activateWindow();
    reload();
    const int index = ItemBox->findData(position);
    if (index >= 0) ItemBox->setCurrentIndex(index);
}

int PaperEntryForm::chosen() const {
    return ItemBox->currentIndex() < 0 ? -1 : ItemBox->currentData().toInt();
}

void PaperEntryForm::reload() {
    const int was = chosen();
    try {
        const PaperSource source(context_, stores_);
        names_ = source.names();
        readEntries(*source.open());
    } catch (const std::exception& e) {
        ui::reportError(e, this);
    }
    {
        const QSignalBlocker blocker(ItemBox);
        ItemBox->clear();
        for (const alcohol::PickEntry& e : items()) ItemBox->addItem(q(e.label), e.position);
        // A deleted user or vehicle keeps its entries: it follows the live ones, marked.
        for (const int position : entryPositions())
            if (std::none_of(items().begin(), items().end(),
                             [&](const alcohol::PickEntry& e) { return e.position == position; }))
                ItemBox->addItem(q(nameOf(position)) + QStringLiteral("（削除済み）"), position);
        ItemBox->setCurrentIndex(std::max(0, ItemBox->findData(was)));
    }
    showHistory();
}

void PaperEntryForm::clearFields() {
    for (QLineEdit* e : edits_) e->clear();
}

void PaperEntryForm::clearHistory() {
    HistoryTable->setRowCount(0);
    rowIds_.clear();
}

void PaperEntryForm::addHistoryRow(std::int64_t id, const std::vector<QString>& cells,
                                   bool renewed) {
    rowIds_.push_back(id);
    const int row = HistoryTable->rowCount();
    HistoryTable->insertRow(row);
    for (int c = 0; c < int(cells.size()); ++c) {
        auto* item = new QTableWidgetItem(cells[std::size_t(c)]);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (renewed) item->setForeground(Qt::gray);
        HistoryTable->setItem(row, c, item);
    }
}

bool PaperEntryForm::confirmPast(const std::string& warning) {
    return warning.empty() ||
           ui::Prompts::current().question(this, QStringLiteral("確認"),
                                           q(warning) + QStringLiteral("\nこのまま登録しますか？"),
                                           ui::PromptIcon::Warning);
}

void PaperEntryForm::refuse(QWidget* field, const std::string& message) {
    ui::Prompts::current().warning(this, q(message));
    if (field) field->setFocus();
}

std::int64_t PaperEntryForm::selectedId() const {
    const QList<QTableWidgetItem*> selected = HistoryTable->selectedItems();
    if (selected.isEmpty()) return 0;
    const int row = selected.front()->row();
    return row < int(rowIds_.size()) ? rowIds_[std::size_t(row)] : 0;
}

bool PaperEntryForm::save() {
    if (chosen() < 0) return false;
    return change([this](PaperStore& store) { return storeInput(store, 0); });
}

bool PaperEntryForm::correct() {
    const std::int64_t id = selectedId();
    if (id == 0) {
        ui::Prompts::current().warning(this, QStringLiteral("修正する記録を選択して下さい！"));
        return false;
    }
    return change([this, id](PaperStore& store) { return storeInput(store, id); });
}

bool PaperEntryForm::removeSelected() {
    const std::int64_t id = selectedId();
    if (id == 0) {
        ui::Prompts::current().warning(this, QStringLiteral("削除する記録を選択して下さい！"));
        return false;
    }
    if (alcohol::refuseWhenReadOnly(context_, this)) return false;
    if (!ui::Prompts::current().question(
            this, QStringLiteral("確認"),
            QStringLiteral("選択した記録を削除してもよろしいですか？\n"
                           "誤って登録した記録だけを削除して下さい（更新は「登録」で行います）。"),
            ui::PromptIcon::Question))
        return false;
    return change([this, id](PaperStore& store) {
        removeEntry(store, id);
        return true;
    });
}

bool PaperEntryForm::change(const std::function<bool(PaperStore&)>& work) {
    if (alcohol::refuseWhenReadOnly(context_, this)) return false;
    bool stored = false;
    try {
        const std::unique_ptr<PaperStore> store = PaperSource(context_, stores_).open();
        stored = work(*store);
    } catch (const store::RecordChangedError& e) {
        // Changed elsewhere since it was read: nothing was written; what is stored now shows.
        ui::Prompts::current().warning(this, q(e.reason()));
        reload();
        return false;
    } catch (const std::exception& e) {
        // Nothing was stored; what was typed stays.
        ui::reportError(e, this);
        return false;
    }
    if (!stored) return false;
    clearFields();
    ui::DataSetEvents::announce(
        store::DataSetChange::extensionChanged(store::ExtensionPart::Papers));
    reload();
    return true;
}

// ---- What the kind of entry tells apart ----

template <typename Entry>
const std::vector<alcohol::PickEntry>& EntryFormOf<Entry>::items() const {
    return (names_.*kKind<Entry>.items)();
}

template <typename Entry>
std::vector<int> EntryFormOf<Entry>::entryPositions() const {
    // Each position once: the entries of one item stand together.
    std::vector<int> out;
    for (const Entry& e : entries_) {
        const int position = e.*kKind<Entry>.item;
        if (out.empty() || out.back() != position) out.push_back(position);
    }
    return out;
}

template <typename Entry>
std::string EntryFormOf<Entry>::nameOf(int position) const {
    return (names_.*kKind<Entry>.name)(position);
}

template <typename Entry>
void EntryFormOf<Entry>::showHistory() {
    const int item = chosen();
    const QSignalBlocker blocker(HistoryTable);
    clearHistory();
    const auto addRow = [&](const Entry& e) {
        if (e.*kKind<Entry>.item != item) return;
        std::vector<QString> cells = historyCells(e);
        cells.push_back(e.renewed ? QStringLiteral("更新済み") : QStringLiteral("現在"));
        addHistoryRow(e.id, cells, e.renewed);
    };
    if (kKind<Entry>.newestFirst)
        std::for_each(entries_.rbegin(), entries_.rend(), addRow);
    else
        std::for_each(entries_.begin(), entries_.end(), addRow);
    HistoryTable->resizeColumnsToContents();
}

template <typename Entry>
void EntryFormOf<Entry>::loadEntry(std::int64_t id) {
    if (const Entry* e = entryWithId(entries_, id)) showEntry(*e);
}

template <typename Entry>
void EntryFormOf<Entry>::removeEntry(PaperStore& store, std::int64_t id) {
    if (const Entry* e = entryWithId(entries_, id)) (store.*kKind<Entry>.remove)(*e);
}

template <typename Entry>
bool EntryFormOf<Entry>::storeBuilt(PaperStore& store, std::int64_t editing,
                                    const EntryResult<Entry>& built, QWidget* field) {
    if (!accepted(built, field)) return false;
    if (editing == 0) {
        (store.*kKind<Entry>.add)(*built.entry);
        return true;
    }
    const Entry* was = entryWithId(entries_, editing);
    if (was) (store.*kKind<Entry>.correct)(*was, *built.entry);
    return was != nullptr;
}

template class EntryFormOf<DriverLicence>;
template class EntryFormOf<VehiclePaper>;

// ---- Licences ----

TLicenceForm::TLicenceForm(ui::MainContext& context, QWidget* mainWindow, PaperStores stores)
    : EntryFormOf(context, mainWindow, QStringLiteral("運転免許証"), std::move(stores)) {
    setObjectName(QStringLiteral("LicenceForm"));
    NumberEdit = addField(QStringLiteral("免許証番号（12桁）"), "NumberEdit");
    KindsEdit = addField(QStringLiteral("種類"), "KindsEdit");
    KindsEdit->setPlaceholderText(QStringLiteral("普通・準中型・中型・大型・二輪 …"));
    ConditionsEdit = addField(QStringLiteral("条件"), "ConditionsEdit");
    ConditionsEdit->setPlaceholderText(QStringLiteral("眼鏡等・AT限定 …"));
    ExpiryEdit = addField(QStringLiteral("有効期限"), "ExpiryEdit");
    ExpiryEdit->setPlaceholderText(QStringLiteral("yyyy/mm/dd"));
    SeenOnEdit = addField(QStringLiteral("確認日"), "SeenOnEdit");
    SeenOnEdit->setPlaceholderText(QStringLiteral("yyyy/mm/dd"));
    SeenByEdit = addField(QStringLiteral("確認者"), "SeenByEdit");
    RemarksEdit = addField(QStringLiteral("備考"), "RemarksEdit");
    HistoryTable->setColumnCount(8);
    HistoryTable->setHorizontalHeaderLabels(
        {QStringLiteral("有効期限"), QStringLiteral("免許証番号"), QStringLiteral("種類"),
         QStringLiteral("条件"), QStringLiteral("確認日"), QStringLiteral("確認者"),
         QStringLiteral("備考"), QStringLiteral("状態")});
}

void TLicenceForm::readEntries(PaperStore& store) {
    const PaperSource source(context_, stores_);
    withNumbers_ = source.readsNumbers();
    entries_ = store.licences(withNumbers_);
    // 閲覧 of a server data set sees no number and is not offered the column.
    NumberEdit->setEnabled(withNumbers_);
    HistoryTable->setColumnHidden(1, !withNumbers_);
}

std::vector<QString> TLicenceForm::historyCells(const DriverLicence& l) const {
    return {dateText(l.expiry), q(l.number), q(l.kinds),  q(l.conditions),
            dateText(l.seenOn), q(l.seenBy), q(l.remarks)};
}

void TLicenceForm::copyCurrent() {
    for (const DriverLicence& l : entries_) {
        if (l.driver != chosen() || l.renewed) continue;
        NumberEdit->setText(q(l.number));
        KindsEdit->setText(q(l.kinds));
        ConditionsEdit->setText(q(l.conditions));
        ExpiryEdit->setText(q(store::formatDate(addMonths(l.expiry, 36))));
        SeenOnEdit->setText(q(store::formatDate(store::today())));
        ExpiryEdit->setFocus();
        ExpiryEdit->selectAll();
        return;
    }
}

void TLicenceForm::showEntry(const DriverLicence& licence) {
    NumberEdit->setText(q(licence.number));
    KindsEdit->setText(q(licence.kinds));
    ConditionsEdit->setText(q(licence.conditions));
    ExpiryEdit->setText(dateText(licence.expiry));
    SeenOnEdit->setText(dateText(licence.seenOn));
    SeenByEdit->setText(q(licence.seenBy));
    RemarksEdit->setText(q(licence.remarks));
}

bool TLicenceForm::storeInput(PaperStore& store, std::int64_t editing) {
    LicenceInput in;
    in.driver = chosen();
    in.number = u(NumberEdit);
    in.kinds = u(KindsEdit);
    in.conditions = u(ConditionsEdit);
    in.expiryText = u(ExpiryEdit);
    in.seenOnText = u(SeenOnEdit);
    in.seenBy = u(SeenByEdit);
    in.remarks = u(RemarksEdit);
    // Duplicates are judged against what is stored now, with numbers where readable.
    const EntryResult<DriverLicence> r =
        buildLicence(in, store::now(), store.licences(withNumbers_), editing);
    QWidget* field = r.field == EntryField::Number   ? NumberEdit
                     : r.field == EntryField::SeenOn ? SeenOnEdit
                     : r.field == EntryField::Expiry ? ExpiryEdit
                                                     : static_cast<QWidget*>(ItemBox);
    return storeBuilt(store, editing, r, field);
}

// ---- Vehicle papers ----

TPaperForm::TPaperForm(ui::MainContext& context, QWidget* mainWindow, PaperStores stores)
    : EntryFormOf(context, mainWindow, QStringLiteral("車検・保険"), std::move(stores)) {
    setObjectName(QStringLiteral("PaperForm"));
    KindBox = new QComboBox(this);
    KindBox->setObjectName(QStringLiteral("KindBox"));
    for (int k = 0; k < kPaperKindCount; ++k) KindBox->addItem(q(kindName(PaperKind(k))), k);
    fields_->addRow(QStringLiteral("種別"), KindBox);
    TitleEdit = addField(QStringLiteral("名称（その他）"), "TitleEdit");
    TitleEdit->setPlaceholderText(QStringLiteral("リース満了 …"));
    InsurerEdit = addField(QStringLiteral("保険会社"), "InsurerEdit");
    NumberEdit = addField(QStringLiteral("証明書・証券番号"), "NumberEdit");
    ExpiryEdit = addField(QStringLiteral("有効期限"), "ExpiryEdit");
    ExpiryEdit->setPlaceholderText(QStringLiteral("yyyy/mm/dd"));
    RemarksEdit = addField(QStringLiteral("備考"), "RemarksEdit");
    HistoryTable->setColumnCount(6);
    HistoryTable->setHorizontalHeaderLabels(
        {QStringLiteral("種別"), QStringLiteral("有効期限"), QStringLiteral("保険会社"),
         QStringLiteral("番号"), QStringLiteral("備考"), QStringLiteral("状態")});
    const auto kindChanged = [this] {
        const auto kind = PaperKind(KindBox->currentData().toInt());
        TitleEdit->setEnabled(kind == PaperKind::Other);
        InsurerEdit->setEnabled(kind == PaperKind::Voluntary || kind == PaperKind::Other);
    };
    connect(KindBox, &QComboBox::currentIndexChanged, this, kindChanged);
    kindChanged();
}

void TPaperForm::readEntries(PaperStore& store) { entries_ = store.papers(); }

std::vector<QString> TPaperForm::historyCells(const VehiclePaper& p) const {
    return {q(paperLabel(p)), dateText(p.expiry), q(p.insurer), q(p.number), q(p.remarks)};
}

void TPaperForm::copyCurrent() {
    // The current entry of the selected history row's paper, else of the chosen kind.
    const int row = HistoryTable->currentRow();
    const auto kind = PaperKind(KindBox->currentData().toInt());
    for (const VehiclePaper& p : entries_) {
        if (p.vehicle != chosen() || p.renewed) continue;
        const bool picked = row >= 0 ? HistoryTable->item(row, 0) &&
                                           HistoryTable->item(row, 0)->text() == q(paperLabel(p))
                                     : p.kind == kind;
        if (!picked) continue;
        KindBox->setCurrentIndex(KindBox->findData(int(p.kind)));
        TitleEdit->setText(q(p.title));
        InsurerEdit->setText(q(p.insurer));
        NumberEdit->setText(q(p.number));
        ExpiryEdit->setText(q(store::formatDate(addMonths(p.expiry, renewalMonths(p.kind)))));
        ExpiryEdit->setFocus();
        ExpiryEdit->selectAll();
        return;
    }
}

void TPaperForm::showEntry(const VehiclePaper& paper) {
    KindBox->setCurrentIndex(KindBox->findData(int(paper.kind)));
    TitleEdit->setText(q(paper.title));
    InsurerEdit->setText(q(paper.insurer));
    NumberEdit->setText(q(paper.number));
    ExpiryEdit->setText(dateText(paper.expiry));
    RemarksEdit->setText(q(paper.remarks));
}

bool TPaperForm::storeInput(PaperStore& store, std::int64_t editing) {
    PaperInput in;
    in.vehicle = chosen();
    in.kind = PaperKind(KindBox->currentData().toInt());
    in.title = TitleEdit->isEnabled() ? u(TitleEdit) : std::string();
    in.insurer = InsurerEdit->isEnabled() ? u(InsurerEdit) : std::string();
    in.number = u(NumberEdit);
    in.expiryText = u(ExpiryEdit);
    in.remarks = u(RemarksEdit);
    const EntryResult<VehiclePaper> r = buildPaper(in, store::now(), store.papers(), editing);
    QWidget* field = r.field == EntryField::Title    ? TitleEdit
                     : r.field == EntryField::Expiry ? ExpiryEdit
                     : r.field == EntryField::Number ? NumberEdit
                                                     : static_cast<QWidget*>(ItemBox);
    return storeBuilt(store, editing, r, field);
}

}  // namespace quil::papers
