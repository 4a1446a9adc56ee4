// The windows of licences and vehicle papers over a temporary data folder: 期限一覧 at the
// horizon's edges and with its filters, the entry windows' rules and renewals, the status
// count with its start notice, and the warnings of both entry dialogs.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "Bytes.h"
#include "StandInMain.h"
#include "TempDir.h"
#include "server/FolderPaperStore.h"
#include "store/Codec.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "ui/components/TDateEdit.h"
#include "ui/components/TRetComboBox.h"
#include "ui/components/TRetEdit.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/tools/ReportTableView.h"
#include "ui/tools/alcohol/AlcoholStore.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"
#include "ui/tools/papers/ExpiryListForm.h"
#include "ui/tools/papers/PaperEntryForms.h"
#include "ui/tools/papers/PaperWindows.h"

namespace quil::papers::test {
namespace {

using store::encodeDate;
using store::encodeTime;

enum Pos : int { kCarA = 0, kYamada = 1, kCarB = 2, kSato = 3 };
const store::DateTime kToday = encodeDate(2024, 2, 29);

class PaperWindowsTest : public ::testing::Test {
protected:
    quil::testing::TempDir dir;
    quil::testing::StandInMain main;
    ui::ScriptedPrompts prompts;

    void SetUp() override {
        main.folder = dir.dir();
        store::setClockForTesting([] { return kToday + encodeTime(9, 0); });
        addItem(store::ItemKind::Vehicle, "営業車1");
        addItem(store::ItemKind::User, "山田");
        addItem(store::ItemKind::Vehicle, "営業車2");
        addItem(store::ItemKind::User, "佐藤");
    }
    void TearDown() override { store::setClockForTesting({}); }

    void addItem(store::ItemKind kind, const char* name) {
        store::ItemRecord item;
        item.setKind(kind);
        item.setName(name);
        store::ItemStore(main.folder).append(item);
    }
    server::FolderPaperStore papers() { return server::FolderPaperStore(main.folder); }
    // As the program's composition gives them, for a data folder.
    static PaperStores stores() {
        return {[](const std::string& folder) -> std::unique_ptr<PaperStore> {
                    return std::make_unique<server::FolderPaperStore>(folder);
                },
                {}};
    }
    void licence(int driver, store::DateTime expiry, const std::string& number = "") {
        DriverLicence l;
        l.driver = driver;
        l.expiry = expiry;
        l.number = number;
        papers().addLicence(l);
    }
    void paper(int vehicle, PaperKind kind, store::DateTime expiry) {
        VehiclePaper p;
        p.vehicle = vehicle;
        p.kind = kind;
        p.expiry = expiry;
        papers().addPaper(p);
    }
    static QString cell(const QAbstractItemModel* m, int row, int column) {
        return m->index(row, column).data().toString();
    }
};

// Lapsed yesterday, lapsing today and in exactly 30 days are listed at the default horizon,
// in 31 days only once the horizon reaches it; a renewed entry never. The filters keep the
// chosen vehicle's and driver's rows, and the CSV holds what is shown, in CP932.
TEST_F(PaperWindowsTest, ExpiryListShowsTheHorizonsEdgesFiltersAndExports) {
    paper(kCarA, PaperKind::Inspection, kToday - 400);  // renewed by the next
    paper(kCarA, PaperKind::Inspection, kToday);
    licence(kYamada, kToday - 1);
    licence(kSato, kToday + 30);
    paper(kCarB, PaperKind::Compulsory, kToday + 31);

    ExpiryListForm form(main, &main.window, stores());
    form.show();
    const QAbstractItemModel* m = form.ExpiryTable->model();
    ASSERT_EQ(m->rowCount(), 3);
    EXPECT_EQ(cell(m, 0, 0), QStringLiteral("2024/02/28"));
    EXPECT_EQ(cell(m, 0, 3), QStringLiteral("山田"));
    EXPECT_EQ(cell(m, 0, 4), QStringLiteral("運転免許証"));
    EXPECT_EQ(cell(m, 0, 5), QStringLiteral("期限切れ"));
    EXPECT_EQ(cell(m, 1, 3), QStringLiteral("営業車1"));
    EXPECT_EQ(cell(m, 1, 4), QStringLiteral("車検"));
    EXPECT_EQ(cell(m, 1, 5), QStringLiteral("今日まで"));
    EXPECT_EQ(cell(m, 2, 0), QStringLiteral("2024/03/30"));
    EXPECT_EQ(cell(m, 2, 1), QStringLiteral("30"));
    EXPECT_EQ(form.SummaryLabel->text(),
              QStringLiteral("2024/02/29 現在　期限切れ 1件（赤）、30日以内 2件（橙）"));

    form.DaysBox->setValue(31);
    ASSERT_EQ(m->rowCount(), 4);
    EXPECT_EQ(cell(m, 3, 4), QStringLiteral("自賠責保険"));

    form.VehicleFilter->setCurrentIndex(form.VehicleFilter->findData(int(kCarB)));
    ASSERT_EQ(m->rowCount(), 1);
    EXPECT_EQ(cell(m, 0, 3), QStringLiteral("営業車2"));
    form.DriverFilter->setCurrentIndex(form.DriverFilter->findData(int(kYamada)));
    ASSERT_EQ(m->rowCount(), 2);
    EXPECT_EQ(cell(m, 0, 3), QStringLiteral("山田"));

    const std::string path = dir.file("expiry.csv");
    analysis::ReportTableView::setFileChooserForTesting(
        [&path](const QString&) { return QString::fromStdString(path); });
    QTest::mouseClick(form.CsvButton, Qt::LeftButton);
    analysis::ReportTableView::setFileChooserForTesting({});
    const std::string csv = store::fromCp932(quil::testing::fileBytes(path));
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "期限日,残り日数,区分,対象,内容,状態");
    EXPECT_NE(csv.find("2024/02/28,-1,運転者,山田,運転免許証,期限切れ\r\n"), std::string::npos);
    EXPECT_EQ(csv.find("佐藤"), std::string::npos);
}

// The licence window's rules: a date that is no day, a number of other than 12 digits and a
// duplicate are refused with nothing stored; a past expiry is stored only when confirmed;
// a renewal keeps the former licence in the history; a copy that only reads stores nothing.
TEST_F(PaperWindowsTest, LicenceEntryRefusesConfirmsAndRenews) {
    TLicenceForm form(main, &main.window, stores());
    form.openFor(kSato);
    EXPECT_EQ(form.chosen(), int(kSato));
    const auto typeAndSave = [&](const char* number, const char* expiry) {
        form.NumberEdit->setText(QString::fromUtf8(number));
        form.ExpiryEdit->setText(QString::fromUtf8(expiry));
        return form.save();
    };

    EXPECT_FALSE(typeAndSave("123456789012", "2024/02/30"));
    EXPECT_EQ(prompts.last().text, QStringLiteral("正しい日付を入力して下さい！"));
    EXPECT_FALSE(typeAndSave("12345678901", "2026/05/01"));
    EXPECT_TRUE(papers().licences(true).empty());

    prompts.answerQuestion(false);  // an expiry already past: declined
    EXPECT_FALSE(typeAndSave("123456789012", "2024/01/31"));
    EXPECT_TRUE(prompts.last().text.startsWith(QStringLiteral("有効期限（2024/01/31）が過ぎています。")));
    EXPECT_TRUE(papers().licences(true).empty());
    prompts.answerQuestion(true);
    EXPECT_TRUE(typeAndSave("123456789012", "2024/01/31"));
    EXPECT_TRUE(form.ExpiryEdit->text().isEmpty());  // cleared for the next entry

    prompts.clear();
    EXPECT_FALSE(typeAndSave("123456789012", "2024/01/31"));  // the same licence again
    EXPECT_EQ(prompts.boxes().size(), 1u);
    ASSERT_EQ(papers().licences(true).size(), 1u);

    // The renewal proposes the expiry three years on; the former entry stays as history.
    QTest::mouseClick(form.CopyButton, Qt::LeftButton);
    EXPECT_EQ(form.ExpiryEdit->text(), QStringLiteral("2027/01/31"));
    EXPECT_EQ(form.NumberEdit->text(), QStringLiteral("123456789012"));
    EXPECT_TRUE(form.save());
    const auto stored = papers().licences(true);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_TRUE(stored[0].renewed);
    EXPECT_FALSE(stored[1].renewed);
    EXPECT_EQ(store::formatDate(stored[1].expiry), "2027/01/31");
    ASSERT_EQ(form.HistoryTable->rowCount(), 2);
    EXPECT_EQ(form.HistoryTable->item(0, 7)->text(), QStringLiteral("現在"));
    EXPECT_EQ(form.HistoryTable->item(1, 7)->text(), QStringLiteral("更新済み"));
    EXPECT_EQ(form.HistoryTable->item(1, 1)->text(), QStringLiteral("123456789012"));

    main.readOnly = true;
    EXPECT_FALSE(typeAndSave("", "2030/01/01"));
    EXPECT_EQ(papers().licences(true).size(), 2u);
}

// The paper window: the office's own entry needs its title; a renewal of 車検 keeps the
// former one.
TEST_F(PaperWindowsTest, PaperEntryNeedsATitleForItsOwnKindsAndRenews) {
    TPaperForm form(main, &main.window, stores());
    form.openFor(kCarB);
    form.KindBox->setCurrentIndex(form.KindBox->findData(int(PaperKind::Other)));
    form.ExpiryEdit->setText(QStringLiteral("2025/03/31"));
    EXPECT_FALSE(form.save());
    EXPECT_EQ(prompts.boxes().size(), 1u);
    EXPECT_TRUE(papers().papers().empty());
    form.TitleEdit->setText(QStringLiteral("リース満了"));
    form.ExpiryEdit->setText(QStringLiteral("2025/03/31"));
    EXPECT_TRUE(form.save());

    form.KindBox->setCurrentIndex(form.KindBox->findData(int(PaperKind::Inspection)));
    form.ExpiryEdit->setText(QStringLiteral("2024/03/10"));
    EXPECT_TRUE(form.save());
    form.HistoryTable->clearSelection();
    form.HistoryTable->setCurrentCell(-1, -1);
    form.KindBox->setCurrentIndex(form.KindBox->findData(int(PaperKind::Inspection)));
    QTest::mouseClick(form.CopyButton, Qt::LeftButton);
    EXPECT_EQ(form.ExpiryEdit->text(), QStringLiteral("2026/03/10"));
    EXPECT_TRUE(form.save());
    const auto stored = papers().papers();
    ASSERT_EQ(stored.size(), 3u);
    int renewed = 0;
    for (const VehiclePaper& p : stored) renewed += p.renewed ? 1 : 0;
    EXPECT_EQ(renewed, 1);
    EXPECT_EQ(form.HistoryTable->rowCount(), 3);
}

// The status bar counts what lapsed and what lapses within 30 days, a notice says at start
// that something lapsed (once), and both entry dialogs show beside the driver and vehicle
// what lapsed and when, and store the record all the same.
TEST_F(PaperWindowsTest, CountNoticeAndTheEntryDialogsWarnings) {
    licence(kYamada, kToday - 1);
    paper(kCarA, PaperKind::Inspection, kToday - 30);
    paper(kCarA, PaperKind::Voluntary, kToday - 5);  // not a warning of the entry dialogs
    paper(kCarB, PaperKind::Compulsory, kToday + 10);

    QMainWindow window;
    PaperWindows windows(main, &window, stores());
    windows.refresh();
    EXPECT_EQ(windows.statusLabel()->accessibleName(), QStringLiteral("期限切れ 3件・30日以内 1件"));
    EXPECT_FALSE(windows.statusLabel()->isHidden());
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().text,
              QStringLiteral("有効期限の切れた運転免許証または車検・保険が 3件あります。"
                             "ツールの期限一覧で確かめてください。"));
    windows.refresh();
    EXPECT_EQ(prompts.boxes().size(), 1u);  // once per start

    // 期限一覧's row opens its licence in the licence window.
    windows.listForm->show();
    ASSERT_EQ(windows.listForm->rows().size(), 4u);
    windows.listForm->ExpiryTable->selectRow(2);  // by date: 2024/01/30, 02/24, 02/28, 03/10
    QTest::mouseClick(windows.listForm->EnterButton, Qt::LeftButton);
    EXPECT_TRUE(windows.licenceForm->isVisible());
    EXPECT_EQ(windows.licenceForm->chosen(), int(kYamada));
    windows.licenceForm->close();
    windows.listForm->close();

    // The record entry dialog.
    ui::TDataInputForm entry(main, &main.window);
    entry.setChoiceWarning(windows.choiceWarning());
    entry.setWindowTitle(QStringLiteral("給油記録－追加"));
    entry.show();
    entry.vehicleList()->setCurrentIndex(entry.vehicleList()->findText(QStringLiteral("営業車1")));
    entry.userList()->setCurrentIndex(entry.userList()->findText(QStringLiteral("山田")));
    EXPECT_EQ(entry.vehicleWarningLabel()->text(),
              QStringLiteral("車検の有効期限（2024/01/30）が過ぎています。"));
    EXPECT_FALSE(entry.vehicleWarningLabel()->isHidden());
    EXPECT_EQ(entry.userWarningLabel()->text(),
              QStringLiteral("運転免許証の有効期限（2024/02/28）が過ぎています。"));
    entry.valueBox1()->setText(QStringLiteral("30"));
    entry.valueBox2()->setText(QStringLiteral("4000"));
    entry.valueBox3()->setText(QStringLiteral("400"));
    QTest::mouseClick(entry.Button1(), Qt::LeftButton);
    EXPECT_EQ(store::RecordStore(main.folder).count(), 1);
    // A vehicle whose papers are valid shows nothing.
    entry.setWindowTitle(QStringLiteral("給油記録－追加"));
    entry.show();
    entry.vehicleList()->setCurrentIndex(entry.vehicleList()->findText(QStringLiteral("営業車2")));
    EXPECT_TRUE(entry.vehicleWarningLabel()->isHidden());
    entry.close();

    // The alcohol-check dialog.
    alcohol::Detector detector;
    detector.name = "検知器A";
    alcohol::AlcoholStore(main.folder).addDetector(detector);
    alcohol::TAlcoholCheckForm check(main, &main.window);
    check.setChoiceWarning(windows.choiceWarning());
    check.openForAdd();
    check.driverBox->setCurrentIndex(check.driverBox->findData(int(kYamada)));
    check.vehicleBox->setCurrentIndex(check.vehicleBox->findData(int(kCarA)));
    EXPECT_EQ(check.driverWarning->text(),
              QStringLiteral("運転免許証の有効期限（2024/02/28）が過ぎています。"));
    EXPECT_EQ(check.vehicleWarning->text(),
              QStringLiteral("車検の有効期限（2024/01/30）が過ぎています。"));
    EXPECT_FALSE(check.vehicleWarning->isHidden());
    check.checkerBox->setEditText(QStringLiteral("安全 太郎"));
    QTest::mouseClick(check.Button1, Qt::LeftButton);
    EXPECT_EQ(alcohol::AlcoholStore(main.folder).load({}).size(), 1u);
}

// Deleting a user or vehicle with entries asks about them first: No changes nothing, Yes
// deletes the item and keeps its entries, which the entry window still shows under the
// item's name marked deleted, while the count and 期限一覧 leave them out. An item without
// entries gets the usual question.
TEST_F(PaperWindowsTest, DeletingAnItemWithEntriesAsksFirstAndKeepsThem) {
    licence(kYamada, kToday + 100);
    licence(kYamada, kToday + 900);
    paper(kCarA, PaperKind::Inspection, kToday + 10);
    QMainWindow window;
    PaperWindows windows(main, &window, stores());
    windows.refresh();
    EXPECT_EQ(windows.statusLabel()->accessibleName(), QStringLiteral("期限切れ 0件・30日以内 1件"));
    ui::TItemForm items(main, &main.window);
    items.setDeleteQuestion(windows.deleteQuestion());
    const auto remove = [&](const char* caption, const char* name, bool yes) {
        items.setWindowTitle(QString::fromUtf8(caption));
        items.show();
        const auto found = items.ListBox1()->findItems(QString::fromUtf8(name), Qt::MatchExactly);
        if (found.isEmpty()) return;
        found.front()->setSelected(true);
        prompts.answerQuestion(yes);
        QTest::mouseClick(items.Button3(), Qt::LeftButton);
        items.close();
    };
    const auto deleted = [&](int position) {
        for (const store::StoredItem& s : main.dataStore().items())
            if (s.position == position) return s.item.deleted();
        return false;
    };

    remove("設定－使用者", "山田", false);
    EXPECT_EQ(prompts.last().text,
              QStringLiteral("この使用者には運転免許証の記録が 2件あります。"
                             "削除しても記録は履歴に残ります。削除しますか？"));
    EXPECT_FALSE(deleted(kYamada));
    remove("設定－使用者", "山田", true);
    EXPECT_TRUE(deleted(kYamada));
    EXPECT_EQ(papers().licences(true).size(), 2u);
    remove("設定－使用者", "佐藤", false);
    EXPECT_EQ(prompts.last().text, QStringLiteral("「佐藤」を削除してもよろしいですか？"));
    remove("設定－車両", "営業車1", true);
    EXPECT_EQ(prompts.last().text,
              QStringLiteral("この車両には車検・保険の記録が 1件あります。"
                             "削除しても記録は履歴に残ります。削除しますか？"));
    EXPECT_TRUE(deleted(kCarA));
    EXPECT_EQ(papers().papers().size(), 1u);
    EXPECT_TRUE(windows.statusLabel()->isHidden());
    windows.listForm->show();
    EXPECT_TRUE(windows.listForm->rows().empty());
    windows.listForm->close();

    TLicenceForm form(main, &main.window, stores());
    form.openFor(kYamada);
    EXPECT_EQ(form.chosen(), int(kYamada));
    EXPECT_EQ(form.ItemBox->currentText(), QStringLiteral("山田（削除済み）"));
    EXPECT_EQ(form.HistoryTable->rowCount(), 2);
}

// 修正 stores the chosen row's fields over that entry under the entry rules and settles
// which entry is current; an entry changed elsewhere since the window read it is not
// overwritten; 削除 removes a mistaken entry after a question, and the one it had replaced
// is current again; a copy that only reads changes nothing.
TEST_F(PaperWindowsTest, AnEntryIsCorrectedOrRemovedOnlyAsItWasRead) {
    licence(kSato, kToday + 100, "123456789012");
    licence(kSato, kToday + 1200, "123456789012");
    const std::int64_t current = papers().licences(true).at(1).id;
    TLicenceForm form(main, &main.window, stores());
    form.openFor(kSato);
    ASSERT_EQ(form.HistoryTable->rowCount(), 2);
    EXPECT_FALSE(form.correct());
    EXPECT_EQ(prompts.last().text, QStringLiteral("修正する記録を選択して下さい！"));

    form.HistoryTable->selectRow(0);  // the newest first
    EXPECT_EQ(form.selectedId(), current);
    EXPECT_EQ(form.ExpiryEdit->text(), QString::fromStdString(store::formatDate(kToday + 1200)));
    EXPECT_EQ(form.NumberEdit->text(), QStringLiteral("123456789012"));
    form.NumberEdit->setText(QStringLiteral("12345"));
    EXPECT_FALSE(form.correct());
    // The expiry corrected to before the other's: that one becomes current.
    form.NumberEdit->setText(QStringLiteral("210987654321"));
    form.ExpiryEdit->setText(QStringLiteral("2024/04/01"));
    EXPECT_TRUE(form.correct());
    auto stored = papers().licences(true);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].id, current);
    EXPECT_EQ(stored[0].number, "210987654321");
    EXPECT_EQ(stored[0].expiry, encodeDate(2024, 4, 1));
    EXPECT_TRUE(stored[0].renewed);
    EXPECT_FALSE(stored[1].renewed);

    // Another computer corrects the entry while the window shows what it read.
    form.HistoryTable->selectRow(1);
    ASSERT_EQ(form.selectedId(), current);
    DriverLicence other = stored[0];
    other.remarks = "他の端末";
    papers().correctLicence(stored[0], other);
    form.RemarksEdit->setText(QStringLiteral("こちら"));
    EXPECT_FALSE(form.correct());
    EXPECT_EQ(prompts.last().text, QString::fromUtf8(kEntryChangedText));
    EXPECT_EQ(papers().licences(true).at(0).remarks, "他の端末");

    const std::int64_t mistaken = papers().licences(true).at(1).id;
    form.HistoryTable->selectRow(0);
    ASSERT_EQ(form.selectedId(), mistaken);
    prompts.answerQuestion(false);
    EXPECT_FALSE(form.removeSelected());
    EXPECT_EQ(papers().licences(true).size(), 2u);
    prompts.answerQuestion(true);
    EXPECT_TRUE(form.removeSelected());
    stored = papers().licences(true);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].id, current);
    EXPECT_FALSE(stored[0].renewed);

    main.readOnly = true;
    form.HistoryTable->selectRow(0);
    form.RemarksEdit->setText(QStringLiteral("読むだけ"));
    EXPECT_FALSE(form.correct());
    prompts.answerQuestion(true);
    EXPECT_FALSE(form.removeSelected());
    EXPECT_EQ(papers().licences(true), stored);
}

}  // namespace
}  // namespace quil::papers::test
