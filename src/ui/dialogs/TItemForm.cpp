#include "ui/dialogs/TItemForm.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/components/EnterPressesButton.h"
#include "ui/components/QtText.h"
#include "ui/dialogs/AfterChange.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/ItemMasks.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/ServerWrites.h"
#include "ui/dialogs/TCarform.h"

namespace quil::ui {
namespace {

using store::ItemKind;

QString kindName(ItemKind kind) { return qs(store::itemKindName(kind)); }

}  // namespace

TItemForm::TItemForm(MainContext& context, QWidget* parent)
    : FormDialog(parent), context_(context) {
    setObjectName(QStringLiteral("ItemForm"));

    listBox1_ = new QListWidget(this);
    listBox1_->setObjectName(QStringLiteral("ListBox1"));
    listBox1_->setSelectionMode(QAbstractItemView::SingleSelection);
    listBox1_->setMinimumSize(220, 260);

    button1_ = new QPushButton(QStringLiteral("追加"), this);
    button2_ = new QPushButton(QStringLiteral("修正"), this);
    button3_ = new QPushButton(QStringLiteral("削除"), this);
    button4_ = new QPushButton(QStringLiteral("閉じる"), this);
    auto* buttons = new QVBoxLayout;
    int n = 1;
    for (QPushButton* b : {button1_, button2_, button3_, button4_}) {
        b->setObjectName(QStringLiteral("Button%1").arg(n++));
        b->setAutoDefault(false);
        EnterPressesButton(b);
        b->setMinimumWidth(90);
        buttons->addWidget(b);
    }
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(listBox1_, 1);
    layout->addLayout(buttons);

    connect(button1_, &QPushButton::clicked, this, &TItemForm::Button1Click);
    connect(button2_, &QPushButton::clicked, this, &TItemForm::Button2Click);
    connect(button3_, &QPushButton::clicked, this, &TItemForm::Button3Click);
    connect(button4_, &QPushButton::clicked, this, &TItemForm::Button4Click);
    // A double click anywhere in the list, on an entry or below them, is "modify".
    listBox1_->viewport()->installEventFilter(this);
}

ItemKind TItemForm::kindFromCaption(const QString& caption) {
    for (int k = 1; k <= 7; ++k) {
        const auto kind = static_cast<ItemKind>(k);
        if (caption == QStringLiteral("設定－") + kindName(kind)) return kind;
    }
    return ItemKind::Shop;
}

ItemKind TItemForm::kind() const { return kindFromCaption(windowTitle()); }

void TItemForm::FormShow() {
    placeBesideMainWindow(*this, context_.mainWidget(), kFurtherBesideMain);
    fillList();
}

void TItemForm::fillList() {
    listBox1_->clear();
    positions_.clear();
    stored_.clear();
    pendingAdd_.reset();  // the list read again shows whether a lost add was stored
    stored_ = context_.dataStore().items();
    for (const store::ItemEntry& e : liveItems(stored_, kind())) {
        listBox1_->addItem(qs(e.name));
        positions_.push_back(e.position);
    }
}

const store::StoredItem& TItemForm::readItem(int position) const {
    const store::StoredItem* item = findItem(stored_, position);
    if (!item) throw store::RecordChangedError(store::kItemFileName, store::kItemChangedText);
    return *item;
}

void TItemForm::keepItem(const store::StoredItem& item) {
    for (store::StoredItem& s : stored_) {
        if (s.position != item.position) continue;
        s = item;
        return;
    }
    stored_.push_back(item);
}

void TItemForm::itemChangedElsewhere() {
    Prompts::current().warning(this, QString::fromUtf8(store::kItemChangedText));
    fillList();
}

void TItemForm::vehicleAdded() {
    if (kind() == ItemKind::Vehicle) fillList();
}

void TItemForm::vehicleChanged(int position, const QString& name) {
    if (kind() != ItemKind::Vehicle) return;
    // The vehicle as stored now, so that a delete next is based on it.
    stored_ = context_.dataStore().items();
    // Found by position: the selection may have moved while the vehicle dialog was open.
    for (std::size_t i = 0; i < positions_.size(); ++i)
        if (positions_[i] == position) listBox1_->item(static_cast<int>(i))->setText(name);
}

bool TItemForm::carformBusy() {
    if (!carform_ || !carform_->isVisible()) return false;
    carform_->raise();
    carform_->activateWindow();
    return true;
}

void TItemForm::openCarform(const QString& caption, int position) {
    if (!carform_ || carformBusy()) return;
    carform_->setItemPosition(position);
    carform_->setWindowTitle(caption);
    carform_->show();
}

void TItemForm::Button1Click() {
    if (listBox1_->count() >= kMaxEntries) {
        Prompts::current().warning(this, QStringLiteral("これ以上登録できません！"));
        return;
    }
    const ItemKind k = kind();
    if (k == ItemKind::Vehicle) {
        openCarform(QStringLiteral("車両情報の登録"), -1);
        return;
    }
    if (refusesChanges(context_, this)) return;
    const QString name = kindName(k);
    const std::optional<QString> text = Prompts::current().inputText(
        this, name, QStringLiteral("追加する") + name + QStringLiteral("を入力して下さい。"),
        QString(), store::kItemNameBytes);
    if (!text) return;

    store::ItemRecord item;
    item.setStamp(context_.dataSetStamp());
    item.setVersion(store::kFormatVersion);
    item.setKind(k);
    item.setOrder(999);
    item.setName(text->toStdString());
    item.setRegistered(store::today());
    const std::size_t before = positions_.size();
    // A new user starts hidden from the record list. Its mask character is written before
    // the user is stored, so a failed settings write stores nothing; a character beyond the
    // last user is ignored, so a failed append leaves the mask as good as before.
    if (k == ItemKind::User) {
        store::Settings settings(context_.programFolder());
        settings.setDriverMask(maskAfterAdd(settings.driverMask(), before, false));
    }
    // The data set announces the new item; the main window follows it.
    AfterChange after(this,
                      QStringLiteral("「") + qs(item.name()) + QStringLiteral("」を追加しました。"),
                      QStringLiteral("メイン画面の更新"));
    // A name added again after a try whose answer was lost goes under that try's key.
    const bool again = pendingAdd_ && pendingAdd_->kind == k && pendingAdd_->name == item.name();
    pendingAdd_ = PendingAdd{k, item.name(), again ? pendingAdd_->key : store::newSaveKey()};
    const store::StoredItem added = context_.dataStore().addItem(item, pendingAdd_->key);
    pendingAdd_.reset();
    keepItem(added);
    positions_.push_back(added.position);
    listBox1_->addItem(qs(item.name()));
}

bool TItemForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == listBox1_->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ListBox1DblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TItemForm::Button2Click() { modify(); }

void TItemForm::ListBox1DblClick() { modify(); }

void TItemForm::modify() {
    const int row = selectedRow();
    if (row < 0) {
        Prompts::current().warning(this, QStringLiteral("項目を選択して下さい！"));
        return;
    }
    const int position = positions_[static_cast<std::size_t>(row)];
    const ItemKind k = kind();
    if (k == ItemKind::Vehicle) {
        openCarform(QStringLiteral("車両情報の修正"), position);
        return;
    }
    if (refusesChanges(context_, this)) return;
    const QString name = kindName(k);
    const QString current = listBox1_->item(row)->text();
    const std::optional<QString> text = Prompts::current().inputText(
        this, name, QStringLiteral("修正する") + name + QStringLiteral("を入力して下さい。"),
        current, store::kItemNameBytes);
    if (!text || *text == current) return;
    // The data set announces the renamed item; the main window follows it.
    AfterChange after(this, QStringLiteral("名前を変更しました。"),
                      QStringLiteral("メイン画面の更新"));
    QString stored;  // the name as stored (cut to its bytes)
    try {
        const store::StoredItem& loaded = readItem(position);
        store::ItemRecord renamed = loaded.item;
        renamed.setName(text->toStdString());
        keepItem(context_.dataStore().rewriteItem(loaded, renamed, store::newSaveKey()));
        stored = qs(renamed.name());
    } catch (const store::RecordChangedError&) {
        itemChangedElsewhere();
        return;
    }
    // The name is stored; what follows only shows it.
    after.step(QStringLiteral("一覧の更新"), [&] { listBox1_->item(row)->setText(stored); });
}

void TItemForm::Button3Click() {
    const int row = selectedRow();
    if (row < 0) {
        Prompts::current().warning(this, QStringLiteral("項目を選択して下さい！"));
        return;
    }
    const ItemKind k = kind();
    if (k == ItemKind::Vehicle && carformBusy()) return;
    const int position = positions_[static_cast<std::size_t>(row)];
    if (refusesChanges(context_, this)) return;
    store::DataStore& dataSet = context_.dataStore();
    if (dataSet.refersTo(position, k)) {
        Prompts::current().warning(
            this, QStringLiteral("この項目は使用されていますので削除できません。"));
        return;
    }
    const QString name = listBox1_->item(row)->text();
    // An item with licences or papers asks about them instead; they stay, in the history.
    QString question = deleteQuestion_ ? deleteQuestion_(k, position) : QString();
    if (question.isEmpty())
        question = QStringLiteral("「") + name + QStringLiteral("」を削除してもよろしいですか？");
    if (!Prompts::current().question(this, QStringLiteral("確認"), question, PromptIcon::Question))
        return;

    // The mask loses the item's character first, so a failed settings write deletes
    // nothing; when the delete then fails, the old mask goes back.
    std::optional<std::string> oldMask;
    if (hasMask(k)) {
        store::Settings settings(context_.programFolder());
        oldMask = readMask(settings, k);
        writeMask(settings, k,
                  maskAfterDelete(*oldMask, positions_.size() - 1, static_cast<std::size_t>(row)));
    }
    // The data set announces the deleted item; the main window follows it.
    AfterChange after(this, QStringLiteral("「") + name + QStringLiteral("」を削除しました。"),
                      QStringLiteral("メイン画面の更新"));
    try {
        // The item is kept with its deleted mark set.
        const store::StoredItem& loaded = readItem(position);
        store::ItemRecord deleted = loaded.item;
        deleted.setDeleted(true);
        keepItem(dataSet.rewriteItem(loaded, deleted, store::newSaveKey()));
    } catch (...) {
        if (oldMask) {
            try {
                store::Settings settings(context_.programFolder());
                writeMask(settings, k, *oldMask);
            } catch (...) {  // the delete's own error is the one to report
            }
        }
        // Someone else changed the item in between: nothing is deleted, the list is read again.
        try {
            throw;
        } catch (const store::RecordChangedError&) {
            itemChangedElsewhere();
            return;
        }
    }
    delete listBox1_->takeItem(row);
    positions_.erase(positions_.begin() + row);
    // Nothing is selected afterwards: a second 削除 must not ask about an entry the user
    // never picked.
    listBox1_->clearSelection();
    listBox1_->setCurrentRow(-1, QItemSelectionModel::Clear);
}

int TItemForm::selectedRow() const {
    const QList<QListWidgetItem*> selected = listBox1_->selectedItems();
    return selected.isEmpty() ? -1 : listBox1_->row(selected.front());
}

void TItemForm::Button4Click() { close(); }

}  // namespace quil::ui
