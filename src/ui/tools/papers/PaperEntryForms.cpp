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

// The item positions of `entries`, each once (the entries of one item stand together).
template <typename Entry>
std::vector<int> positionsOf(const std::vector<Entry>& entries, int Entry::*position) {
    std::vector<int> out;
    for (const Entry& e : entries)
        if (out.empty() || out.back() != e.*position) out.push_back(e.*position);
    return out;
}

// The entry `id` of `entries`; nullptr when it is not among them.
template <typename Entry>
const Entry* entryWithId(const std::vector<Entry>& entries, std::int64_t id) {
    const auto it =
        std::find_if(entries.begin(), entries.end(), [id](const Entry& e) { return e.id == id; });
    return it == entries.end() ? nullptr : &*it;
}

// Stores `entry` as a new one (`editing` 0) or over the entry `editing` of `read`; false
// when that entry is no longer among them.
template <typename Entry>
bool storeOrCorrect(PaperStore& store, std::int64_t (PaperStore::*add)(const Entry&),
                    void (PaperStore::*correct)(const Entry&, const Entry&),
                    const std::vector<Entry>& read, std::int64_t editing, const Entry& entry) {
    if (editing == 0) {
        (store.*add)(entry);
        return true;
    }
    const Entry* was = entryWithId(read, editing);
    if (was) (store.*correct)(*was, entry);
    return was != nullptr;
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

// ---- Licences ----

TLicenceForm::TLicenceForm(ui::MainContext& context, QWidget* mainWindow, PaperStores stores)
    : PaperEntryForm(context, mainWindow, QStringLiteral("運転免許証"), std::move(stores)) {
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
    licences_ = store.licences(withNumbers_);
    // 閲覧 of a server data set sees no number and is not offered the column.
    NumberEdit->setEnabled(withNumbers_);
    HistoryTable->setColumnHidden(1, !withNumbers_);
}

std::vector<int> TLicenceForm::entryPositions() const {
    return positionsOf(licences_, &DriverLicence::driver);
}

void TLicenceForm::showHistory() {
    const int driver = chosen();
    const QSignalBlocker blocker(HistoryTable);
    clearHistory();
    for (auto it = licences_.rbegin(); it != licences_.rend(); ++it) {
        const DriverLicence& l = *it;
        if (l.driver != driver) continue;
        addHistoryRow(l.id,
                      {dateText(l.expiry), q(l.number), q(l.kinds), q(l.conditions),
                       dateText(l.seenOn), q(l.seenBy), q(l.remarks),
                       l.renewed ? QStringLiteral("更新済み") : QStringLiteral("現在")},
                      l.renewed);
    }
    HistoryTable->resizeColumnsToContents();
}

void TLicenceForm::copyCurrent() {
    for (const DriverLicence& l : licences_) {
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

void TLicenceForm::loadEntry(std::int64_t id) {
    const DriverLicence* l = entryWithId(licences_, id);
    if (!l) return;
    NumberEdit->setText(q(l->number));
    KindsEdit->setText(q(l->kinds));
    ConditionsEdit->setText(q(l->conditions));
    ExpiryEdit->setText(dateText(l->expiry));
    SeenOnEdit->setText(dateText(l->seenOn));
    SeenByEdit->setText(q(l->seenBy));
    RemarksEdit->setText(q(l->remarks));
}

void TLicenceForm::removeEntry(PaperStore& store, std::int64_t id) {
    if (const DriverLicence* l = entryWithId(licences_, id)) store.removeLicence(*l);
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
    return accepted(r, field) &&
           storeOrCorrect(store, &PaperStore::addLicence, &PaperStore::correctLicence, licences_,
                          editing, *r.entry);
}

// ---- Vehicle papers ----

TPaperForm::TPaperForm(ui::MainContext& context, QWidget* mainWindow, PaperStores stores)
    : PaperEntryForm(context, mainWindow, QStringLiteral("車検・保険"), std::move(stores)) {
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

void TPaperForm::readEntries(PaperStore& store) { papers_ = store.papers(); }

std::vector<int> TPaperForm::entryPositions() const {
    return positionsOf(papers_, &VehiclePaper::vehicle);
}

void TPaperForm::showHistory() {
    const int vehicle = chosen();
    const QSignalBlocker blocker(HistoryTable);
    clearHistory();
    for (const VehiclePaper& p : papers_) {
        if (p.vehicle != vehicle) continue;
        addHistoryRow(
            p.id,
            {q(paperLabel(p)), dateText(p.expiry), q(p.insurer), q(p.number), q(p.remarks),
             p.renewed ? QStringLiteral("更新済み") : QStringLiteral("現在")},
            p.renewed);
    }
    HistoryTable->resizeColumnsToContents();
}

void TPaperForm::copyCurrent() {
    // The current entry of the selected history row's paper, else of the chosen kind.
    const int row = HistoryTable->currentRow();
    const auto kind = PaperKind(KindBox->currentData().toInt());
    for (const VehiclePaper& p : papers_) {
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

void TPaperForm::loadEntry(std::int64_t id) {
    const VehiclePaper* p = entryWithId(papers_, id);
    if (!p) return;
    KindBox->setCurrentIndex(KindBox->findData(int(p->kind)));
    TitleEdit->setText(q(p->title));
    InsurerEdit->setText(q(p->insurer));
    NumberEdit->setText(q(p->number));
    ExpiryEdit->setText(dateText(p->expiry));
    RemarksEdit->setText(q(p->remarks));
}

void TPaperForm::removeEntry(PaperStore& store, std::int64_t id) {
    if (const VehiclePaper* p = entryWithId(papers_, id)) store.removePaper(*p);
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
    return accepted(r, field) &&
           storeOrCorrect(store, &PaperStore::addPaper, &PaperStore::correctPaper, papers_, editing,
                          *r.entry);
}

}  // namespace quil::papers
