#include "ui/dialogs/TViewItemForm.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/ItemStore.h"
#include "store/Settings.h"
#include "ui/dialogs/ItemMasks.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/OkCancelButtons.h"
#include "ui/dialogs/ServerWrites.h"

namespace quil::ui {

using store::ItemKind;

TViewItemForm::TViewItemForm(MainContext& context, QWidget* parent)
    : OkCancelForm(parent), context_(context) {
    setObjectName(QStringLiteral("ViewItemForm"));
    checkList_ = new QListWidget(this);
    checkList_->setObjectName(QStringLiteral("CheckListBox1"));
    checkList_->setMinimumSize(200, 240);

    QHBoxLayout* buttons = makeButtonRow();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(checkList_, 1);
    layout->addLayout(buttons);
}

ItemKind TViewItemForm::kind() const {
    return windowTitle() == QStringLiteral("表示－車両") ? ItemKind::Vehicle : ItemKind::User;
}

void TViewItemForm::FormShow() {
    placeBesideMainWindow(*this, context_.mainWidget(), kFurtherBesideMain);
    shownKind_ = kind();
    checkList_->clear();
    positions_.clear();
    const std::vector<store::StoredItem> items = context_.dataStore().items();
    if (items.empty()) return;
    const std::string mask = readMask(store::Settings(context_.programFolder()), shownKind_);
    const auto live = liveItems(items, shownKind_);
    for (std::size_t i = 0; i < live.size(); ++i) {
        auto* entry = new QListWidgetItem(QString::fromStdString(live[i].name), checkList_);
        entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        entry->setCheckState(store::filterMaskShows(mask, i) ? Qt::Checked : Qt::Unchecked);
        positions_.push_back(live[i].position);
    }
}

void TViewItemForm::Button1Click() {
    store::Settings settings(context_.programFolder());
    // The mask is built for the items live now. While the dialog was open the master list
    // may have changed: an item the dialog did not list keeps its character of the mask.
    const std::string oldMask = readMask(settings, shownKind_);
    const auto live = liveItems(context_.dataStore().items(), shownKind_);
    std::string mask;
    for (std::size_t i = 0; i < live.size(); ++i) {
        bool shown = store::filterMaskShows(oldMask, i);
        for (std::size_t e = 0; e < positions_.size(); ++e)
            if (positions_[e] == live[i].position)
                shown = checkList_->item(static_cast<int>(e))->checkState() == Qt::Checked;
        mask += shown ? '1' : '0';
    }
    writeMask(settings, shownKind_, mask);
    // A display filter, not a change of the data set: only the main window shows it.
    context_.refreshSummaries();
    context_.reloadList();
    close();
}

}  // namespace quil::ui
