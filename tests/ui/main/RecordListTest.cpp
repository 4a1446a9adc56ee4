// The record list: rows per tab, filters, the row index and the selection marker.
#include <QLineEdit>
#include <QTabBar>
#include <QTest>

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QTableView>

#include "FailingFiles.h"
#include "MainTestSupport.h"
#include "ui/printing/PrintedListModel.h"
#include "ui/printing/TGridPrinter.h"
#include "store/DataStore.h"
#include "store/Date.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

// Items: 0 vehicle 軽トラ, 1 user 山田, 2 purpose 配達, 3 gas station 駅前SS,
// 4 maintenance item オイル交換, 5 expense item 駐車場, 6 shop 田中自動車,
// 7 vehicle ワゴン, 8 user 佐藤, 9 vehicle 旧車 (deleted).
class RecordList : public MainWindowTest {
protected:
    void SetUp() override {
        writeRecords<ItemRecord>(
            tmp.file("Quil.qui"),
            {item(ItemKind::Vehicle, "軽トラ"), item(ItemKind::User, "山田"),
             item(ItemKind::Purpose, "配達"), item(ItemKind::GasStation, "駅前SS"),
             item(ItemKind::MaintenanceItem, "オイル交換"), item(ItemKind::ExpenseItem, "駐車場"),
             item(ItemKind::Shop, "田中自動車"), item(ItemKind::Vehicle, "ワゴン"),
             item(ItemKind::User, "佐藤"), item(ItemKind::Vehicle, "旧車", 40000.5, true)});
        Settings s(dir());
        s.writeFirstRun(2003);
        s.setPeriodKind(PeriodKind::All);
        s.setCarMask("111");
        s.setDriverMask("11");
    }

    DataRecord driving(double date, int vehicle, int user) {
        auto r = makeRecord(date, vehicle, user, 0, 0);
        r.setItem(2);
        r.setPlace(-1);
        return r;
    }

    void startWithThreeDrivingRecords() {
        writeRecords<DataRecord>(tmp.file("Quil.qud"), {driving(encodeDate(2003, 1, 1), 0, 1),
                                                        driving(encodeDate(2003, 1, 2), 0, 1),
                                                        driving(encodeDate(2003, 1, 3), 0, 1)});
        start();
    }
};

}  // namespace

TEST_F(RecordList, EachTabShowsItsColumnsAndRowTexts) {
    const double day = encodeDate(2003, 4, 10);
    auto drive = driving(day + encodeTime(8, 30), 0, 1);
    drive.setReturnTime(day + encodeTime(17, 5));
    drive.setDistance1(12345.6);
    drive.setDistance2(12400);
    drive.setDestination("本社");
    drive.setRemarks("雨");
    auto fuel = makeRecord(day + 1, 7, 8, 4500, 1);
    fuel.setDistance2(32.25);
    fuel.setTax(225);
    fuel.setItem(-1);
    fuel.setPlace(3);
    fuel.setRemarks("満タン");
    auto service = makeRecord(day + 2, 0, 1, 3000, 2);
    service.setItem(4);
    service.setPlace(6);
    service.setDistance1(12500.04);
    service.setTax(150);
    auto expense = makeRecord(day + 3, 0, 8, 500, 3);
    expense.setItem(5);
    expense.setPlace(-1);
    writeRecords<DataRecord>(tmp.file("Quil.qud"), {drive, fuel, service, expense});
    start();

    EXPECT_EQ(main->ComboGrid1->ColCount(), 12);
    EXPECT_EQ(rows(), 2);
    std::vector<std::string> row;
    for (int c = 0; c < 12; ++c) row.push_back(cell(c, 1).toStdString());
    EXPECT_EQ(row,
              (std::vector<std::string>{"", "1", "2003/04/10", "08:30 ～ 17:05", "軽トラ", "山田",
                                        "配達", "12345.6", "12400.0", "54.4", "本社", "雨"}));
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{0}));

    main->TabControl1->setCurrentIndex(1);
    EXPECT_EQ(main->ComboGrid1->ColCount(), 10);
    EXPECT_EQ(cell(5, 0), QStringLiteral("給油量"));
    row.clear();
    for (int c = 1; c < 10; ++c) row.push_back(cell(c, 1).toStdString());
    EXPECT_EQ(row, (std::vector<std::string>{"1", "2003/04/11", "ワゴン", "佐藤", "32.3", "4500",
                                             "225", "駅前SS", "満タン"}));
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{1}));

    main->TabControl1->setCurrentIndex(2);
    row.clear();
    for (int c = 1; c < 11; ++c) row.push_back(cell(c, 1).toStdString());
    EXPECT_EQ(row, (std::vector<std::string>{"1", "2003/04/12", "軽トラ", "山田", "オイル交換",
                                             "12500.0", "3000", "150", "田中自動車", ""}));

    main->TabControl1->setCurrentIndex(3);
    EXPECT_EQ(rows(), 4);
    EXPECT_EQ(cell(5, 1), QStringLiteral("給油代金"));
    EXPECT_EQ(cell(8, 1), QStringLiteral("駅前SS"));
    EXPECT_EQ(cell(5, 2), QStringLiteral("点検・整備費"));
    EXPECT_EQ(cell(5, 3), QStringLiteral("駐車場"));
    EXPECT_EQ(cell(8, 3), QStringLiteral("その他"));
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{1, 2, 3}));
}

TEST_F(RecordList, DeletedRecordsAndHiddenVehiclesOrUsersAreLeftOut) {
    const double day = encodeDate(2003, 4, 10);
    auto gone = driving(day, 0, 1);
    gone.setDeleted(true);
    writeRecords<DataRecord>(tmp.file("Quil.qud"), {gone, driving(day, 0, 1), driving(day, 7, 1),
                                                    driving(day, 0, 8), driving(day, 9, 1)});
    Settings(dir()).setCarMask("1");  // ワゴン is beyond the mask's end: hidden
    start();
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(cell(4, 1), QStringLiteral("軽トラ"));
    EXPECT_EQ(cell(5, 2), QStringLiteral("佐藤"));
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{1, 3}));

    Settings(dir()).setDriverMask("01");
    main->reloadList();
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{3}));

    Settings(dir()).setCarMask("000");
    main->reloadList();
    EXPECT_EQ(rows(), 2);
    EXPECT_TRUE(rowIndex().empty());
}

TEST_F(RecordList, DisplayPeriodKeepsTheDaysOfThePeriodAndDrivingTimes) {
    Settings s(dir());
    s.setPeriodKind(PeriodKind::Month);
    s.setStoredPeriod(PeriodKind::Month, "20033");  // April 2003
    writeRecords<DataRecord>(tmp.file("Quil.qud"),
                             {driving(encodeDate(2003, 3, 31) + encodeTime(0, 30), 0, 1),
                              driving(encodeDate(2003, 4, 1), 0, 1),
                              driving(encodeDate(2003, 4, 30) + encodeTime(23, 50), 0, 1),
                              driving(encodeDate(2003, 5, 1) + encodeTime(0, 10), 0, 1)});
    start();
    // The drive of 3/31 belongs to March, whatever its time; the one late on 4/30 to April.
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(main->Edit1->text(), QStringLiteral("2003年4月　(2003/04/01～2003/04/30)"));
}

TEST_F(RecordList, SummariesNameTheTickedItemsOnly) {
    Settings s(dir());
    s.setCarMask("011");
    s.setDriverMask("0");
    start();
    EXPECT_EQ(main->Edit2->text(), QStringLiteral("ワゴン"));
    EXPECT_EQ(main->Edit3->text(), QString());
}

TEST_F(RecordList, ClickingMarksTheTopRowOfTheSelection) {
    startWithThreeDrivingRecords();
    auto* grid = main->ComboGrid1;
    grid->selectRow(2);
    main->ComboGrid1Click();
    EXPECT_EQ(main->selectedRow(), 2);
    EXPECT_EQ(cell(0, 2), QStringLiteral("⇒"));
    grid->selectRow(3);
    main->ComboGrid1Click();
    EXPECT_EQ(cell(0, 2), QString());
    EXPECT_EQ(cell(0, 3), QStringLiteral("⇒"));
    main->reloadList();
    EXPECT_EQ(main->selectedRow(), 0);
    EXPECT_EQ(cell(0, 3), QString());
}

TEST_F(RecordList, NoRowLooksSelectedAfterALoadAndKeysOrARightPressSelectLikeAClick) {
    startWithThreeDrivingRecords();
    auto* grid = main->ComboGrid1;
    EXPECT_TRUE(grid->selectionModel()->selectedIndexes().isEmpty());
    EXPECT_EQ(main->selectedRow(), 0);

    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(main->selectedRow(), 1);
    EXPECT_EQ(cell(0, 1), QStringLiteral("⇒"));
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(main->selectedRow(), 2);
    EXPECT_EQ(cell(0, 1), QString());

    // The row under a right press is the one the pop-up menu's commands act on.
    const QPoint third = grid->visualRect(grid->model()->index(3, 3)).center();
    QTest::mousePress(grid->viewport(), Qt::RightButton, {}, third);
    QTest::mouseRelease(grid->viewport(), Qt::RightButton, {}, third);
    EXPECT_EQ(main->selectedRow(), 3);
    EXPECT_EQ(cell(0, 3), QStringLiteral("⇒"));

    main->reloadList();
    EXPECT_EQ(main->selectedRow(), 0);
    EXPECT_TRUE(grid->selectionModel()->selectedIndexes().isEmpty());
}

TEST_F(RecordList, LeavingATabSavesItsWidthsAndTheNewTabUsesItsOwn) {
    start();
    main->ComboGrid1->setColWidths(11, 200);
    main->TabControl1->setCurrentIndex(1);
    EXPECT_EQ(ini("TabWidth", "011"), "200");
    EXPECT_EQ(main->ComboGrid1->ColWidths(2), 70);
    EXPECT_EQ(main->ComboGrid1->CellKind(5).Alignment(), 4);
    EXPECT_EQ(main->ComboGrid1->CellKind(8).Alignment(), 1);
    main->TabControl1->setCurrentIndex(0);
    EXPECT_EQ(main->ComboGrid1->ColWidths(11), 200);
    EXPECT_EQ(main->ComboGrid1->CellKind(5).Alignment(), 1);
}

TEST_F(RecordList, TheListFollowsTheTabEvenWhenTheOldWidthsCannotBeSaved) {
    writeRecords<DataRecord>(tmp.file("Quil.qud"),
                             {driving(100, 0, 1), makeRecord(101, 0, 1, 500, 1)});
    start();
    main->ComboGrid1->setColWidths(11, 200);
    {
        FailingFiles readOnly({"Quil.ini"});
        QTabBar* tabs = main->TabControl1;
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        ASSERT_EQ(tabs->currentIndex(), 1);
        EXPECT_EQ(main->currentTab(), ListTab::Refuelling);
        EXPECT_EQ(main->listModel()->tab(), ListTab::Refuelling);
        EXPECT_EQ(cell(2, 1), QStringLiteral("1900/04/10"));
        EXPECT_EQ(rows(), 2);
    }
    // The failure was reported once, by the application's report.
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_TRUE(prompts.last().text.startsWith(QStringLiteral("Quil.ini")));
    EXPECT_EQ(ini("TabWidth", "011"), "<none>");
}

namespace {

// A data set read as a server is (the list's rows by id), counting the requests for rows.
class CountedReads : public DataStore {
public:
    explicit CountedReads(std::unique_ptr<DataStore> real) : real_(std::move(real)) {}
    int requests = 0;
    std::string where() const override { return real_->where(); }
    bool writable() override { return false; }
    void scanRecords(const std::function<void(const StoredRecord&)>& f, bool deleted) override {
        real_->scanRecords(f, deleted);
    }
    std::int64_t recordCount(bool deleted) override { return real_->recordCount(deleted); }
    StoredRecord readRecord(std::int64_t id) override { return real_->readRecord(id); }
    std::vector<StoredRecord> readRecords(const std::vector<std::int64_t>& ids) override {
        ++requests;
        return real_->readRecords(ids);
    }
    StoredRecord addRecord(const DataRecord&, const std::string&) override { throw 0; }
    StoredRecord editRecord(const StoredRecord&, const DataRecord&, const std::string&) override {
        throw 0;
    }
    void deleteRecord(const StoredRecord&, const std::string&) override { throw 0; }
    bool refersTo(int position, ItemKind kind) override { return real_->refersTo(position, kind); }
    std::vector<StoredItem> items() override { return real_->items(); }
    StoredItem addItem(const ItemRecord&, const std::string&) override { throw 0; }
    StoredItem rewriteItem(const StoredItem&, const ItemRecord&, const std::string&) override {
        throw 0;
    }

private:
    std::unique_ptr<DataStore> real_;
};

}  // namespace

// A print of a list on a server measures rows spread over the whole list to fit its columns:
// they are read in one request, not a page of rows around each, and the pages then drawn
// read only the rows they show.
TEST_F(RecordList, APrintOfAServerListReadsItsMeasuredRowsInOneRequest) {
    std::vector<DataRecord> records;
    for (int i = 0; i < 20000; ++i) records.push_back(driving(encodeDate(2003, 1, 1) + i / 10.0, 0, 1));
    writeRecords<DataRecord>(tmp.file("Quil.qud"), records);
    CountedReads server(openFolderStore(dir()));
    quil::ui::RecordListModel list;
    list.setServerSource(&server);
    list.setRecords(quil::ui::loadServerRecords(dir(), server, ListTab::Driving));
    ASSERT_EQ(list.recordCount(), 20000);
    quil::ui::PrintedListModel printed;
    printed.setSource(&list);
    QTableView view;
    view.setModel(&printed);
    quil::ui::TGridPrinter printer;
    printer.setGrid(&view);
    printer.FitColumns = true;
    QPrinter target;
    target.setOutputFormat(QPrinter::PdfFormat);
    target.setOutputFileName(QString::fromStdString(tmp.file("list.pdf")));
    const int pages = printer.PreparePages(target);
    EXPECT_GT(pages, 100);
    EXPECT_LE(server.requests, 2);
    QImage page(target.width(), target.height(), QImage::Format_RGB32);
    QPainter painter(&page);
    printer.PrintPage(painter, pages / 2);
    EXPECT_LE(server.requests, 3);
    EXPECT_FALSE(printed.index(10000, 2).data().toString().isEmpty());
}
