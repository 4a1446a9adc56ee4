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

PaperWindows::PaperWindows(ui::MainContext& context, QMainWindow* main)
    : QObject(main), context_(context) {
    listForm = new ExpiryListForm(context, main);
    licenceForm = new TLicenceForm(context, main);
    paperForm = new TPaperForm(context, main);
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
    // Entries name items by position: records and names change nothing counted here.
    if (changesPapers(c) && c.what != store::DataSetChange::What::ItemsChanged) refresh();
}

void PaperWindows::refresh() {
    work_->start(
        [this, source = PaperSource(context_)] {
            auto read = std::make_shared<PaperData>();
            const std::unique_ptr<PaperStore> store = source.open();
            read->licences = store->licences(false);
            read->papers = store->papers();
            return ui::BackgroundWork::Apply([this, read] {
                licences_ = std::move(read->licences);
                papers_ = std::move(read->papers);
                showCount();
            });
        },
        [this](const std::exception&) {
            // The windows show the reason when opened; the count says only that it has none.
            licences_.clear();
            papers_.clear();
            statusLabel_->setText(QStringLiteral("期限: 調べられません"));
            statusLabel_->show();
        });
}

void PaperWindows::showCount() {
    const auto list = expiryList(licences_, papers_, store::today(), kDefaultWithinDays);
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

}  // namespace quil::papers
