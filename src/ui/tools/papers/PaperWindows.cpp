#include "ui/tools/papers/PaperWindows.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <memory>

#include "papers/PaperEntry.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/papers/ExpiryListForm.h"
#include "ui/tools/papers/PaperAccess.h"
#include "ui/tools/papers/PaperEntryForms.h"

namespace quil::papers {

namespace {
void open(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}
}  // namespace

PaperWindows::PaperWindows(ui::MainContext& context, QMainWindow* main, PaperStores stores)
    : QObject(main), context_(context), stores_(std::move(stores)) {
    listForm = new ExpiryListForm(context, main, stores_);
    licenceForm = new TLicenceForm(context, main, stores_);
    paperForm = new TPaperForm(context, main, stores_);
    listForm->setEnter([this](const ExpiryEntry& e) {
        if (e.of == ExpiryEntry::Of::Licence)
            licenceForm->openFor(e.position);
        else
            paperForm->openFor(e.position);
    });
    ui::DataSetEvents::refreshWhileOpen(listForm, [form = listForm] { form->Reload(); },
                                        changesPapers);

    statusLabel_ = new QLabel(main);
    statusLabel_->setObjectName(QStringLiteral("ExpiryStatus"));
    statusLabel_->setTextFormat(Qt::RichText);
    statusLabel_->setCursor(Qt::PointingHandCursor);
    statusLabel_->setToolTip(QStringLiteral("クリックすると期限一覧を開きます"));
    statusLabel_->hide();
    main->statusBar()->addPermanentWidget(statusLabel_);
    connect(statusLabel_, &QLabel::linkActivated, this, [this] { open(listForm); });
    // A status line is no command: it reads quietly, without a progress box.
    work_ = new ui::BackgroundWork(main, {}, false);
    work_->setParent(this);
    ui::DataSetEvents::listen(this, [this](const store::DataSetChange& c) { followChange(c); });
    QTimer::singleShot(0, this, &PaperWindows::refresh);
}

std::vector<PaperWindows::Command> PaperWindows::commands() {
    return {
        {QStringLiteral("期限一覧(&X)..."), QStringLiteral("ExpiryList1"),
         [this] { open(listForm); }},
        {QStringLiteral("運転免許証(&D)..."), QStringLiteral("Licences1"),
         [this] { licenceForm->openFor(-1); }},
        {QStringLiteral("車検・保険(&V)..."), QStringLiteral("VehiclePapers1"),
         [this] { paperForm->openFor(-1); }},
    };
}

void PaperWindows::followChange(const store::DataSetChange& c) {
    // A deleted user or vehicle leaves the count; records change nothing counted here.
    if (changesPapers(c)) refresh();
}

void PaperWindows::refresh() {
    work_->start(
        [this, source = PaperSource(context_, stores_)] {
            auto read = std::make_shared<PaperData>();
            const std::unique_ptr<PaperStore> store = source.open();
            read->licences = store->currentLicences();
            read->papers = store->currentPapers();
            read->names = source.names();
            return ui::BackgroundWork::Apply([this, read] {
                licences_ = std::move(read->licences);
                papers_ = std::move(read->papers);
                names_ = std::move(read->names);
                showCount();
            });
        },
        [this](const std::exception&) {
            // The windows show the reason when opened; the count says only that it has none.
            licences_.clear();
            papers_.clear();
            names_ = {};
            statusLabel_->setText(QStringLiteral("期限: 調べられません"));
            statusLabel_->show();
        });
}

void PaperWindows::showCount() {
    auto list = expiryList(licences_, papers_, store::today(), kDefaultWithinDays);
    dropDeletedItems(list, names_);
    const auto lapsed =
        std::count_if(list.begin(), list.end(),
                      [](const ExpiryEntry& e) { return e.state == ExpiryState::Lapsed; });
    const auto lapsing = static_cast<long>(list.size()) - lapsed;
    const QString text =
        QStringLiteral("期限切れ %1件・30日以内 %2件").arg(lapsed).arg(lapsing);
    statusLabel_->setText(QStringLiteral("<a href=\"expiry\" style=\"color:%1\">%2</a>")
                              .arg(lapsed > 0 ? QStringLiteral("#c00000") : QStringLiteral("#000000"),
                                   text.toHtmlEscaped()));
    statusLabel_->setAccessibleName(text);
    statusLabel_->setVisible(!list.empty());
    if (lapsed > 0 && !noticeShown_) {
        noticeShown_ = true;
        ui::Prompts::current().notice(
            statusLabel_->window(),
            QStringLiteral("有効期限の切れた運転免許証または車検・保険が %1件あります。"
                           "ツールの期限一覧で確かめてください。")
                .arg(lapsed));
    }
}

ui::ChoiceWarning PaperWindows::choiceWarning() const {
    return [this](ui::ChoiceOf of, int position) {
        const store::DateTime today = store::today();
        return QString::fromStdString(of == ui::ChoiceOf::Driver
                                          ? driverLapsed(licences_, position, today)
                                          : vehicleLapsed(papers_, position, today));
    };
}

std::function<QString(store::ItemKind, int)> PaperWindows::deleteQuestion() const {
    return [this](store::ItemKind kind, int position) -> QString {
        if (kind != store::ItemKind::User && kind != store::ItemKind::Vehicle) return QString();
        const std::unique_ptr<PaperStore> store = PaperSource(context_, stores_).open();
        long n = 0;
        if (kind == store::ItemKind::User) {
            const auto all = store->licences(false);
            n = std::count_if(all.begin(), all.end(),
                              [&](const DriverLicence& l) { return l.driver == position; });
        } else {
            const auto all = store->papers();
            n = std::count_if(all.begin(), all.end(),
                              [&](const VehiclePaper& p) { return p.vehicle == position; });
        }
        if (n == 0) return QString();
        return (kind == store::ItemKind::User
                    ? QStringLiteral("この使用者には運転免許証の記録が %1件あります。")
                    : QStringLiteral("この車両には車検・保険の記録が %1件あります。"))
                   .arg(n) +
               QStringLiteral("削除しても記録は履歴に残ります。削除しますか？");
    };
}

}  // namespace quil::papers
