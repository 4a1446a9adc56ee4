// The record list after a save or a delete follows the change in place: on generated data
// sets its rows, texts and Data.idx must equal what a full load of the changed file gives.
#include <QAbstractItemModelTester>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <algorithm>
#include <map>
#include <random>

#include "MainTestSupport.h"
#include "ui/main/RecordCommands.h"

using namespace quil::store;
using namespace quil::testing;
using Way = SavedPlace::Way;

namespace {

// Items: vehicles 0 A, 1 B (hidden by the mask), 2 C; users 3 X, 4 Y.
class ListUpdate : public MainWindowTest {
protected:
    TempDir other;  // a second program folder for the reference load
    std::mt19937 random{1};

    void SetUp() override {
        writeRecords<ItemRecord>(
            tmp.file("Quil.qui"),
            {item(ItemKind::Vehicle, "A"), item(ItemKind::Vehicle, "B"),
             item(ItemKind::Vehicle, "C"), item(ItemKind::User, "X"), item(ItemKind::User, "Y")});
        Settings s(dir());
        s.writeFirstRun(2003);
        s.setPeriodKind(PeriodKind::All);
        s.setCarMask("101");
        s.setDriverMask("11");
    }

    int pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random); }

    DataRecord randomRecord() {
        auto r =
            makeRecord(37000 + pick(60) + pick(4) / 4.0, pick(3), 3 + pick(2), pick(9000), pick(4));
        r.setItem(-1);
        r.setPlace(-1);
        return r;
    }

    // `n` records in key order, one in seven deleted.
    void writeSortedFile(int n) {
        std::vector<DataRecord> recs;
        for (int i = 0; i < n; ++i) {
            auto r = randomRecord();
            r.setDeleted(pick(7) == 0);
            recs.push_back(r);
        }
        std::stable_sort(recs.begin(), recs.end(),
                         [](const DataRecord& a, const DataRecord& b) { return sortsAfter(b, a); });
        writeRecords<DataRecord>(tmp.file("Quil.qud"), recs);
    }

    quil::ui::RecordListModel& list() { return *main->listModel(); }

    // The list on screen equals a full load of the file as it is now: rows, cell texts
    // and the row index.
    void expectSameAsFullLoad(const std::string& what) {
        std::filesystem::copy_file(tmp.file("Quil.ini"), other.file("Quil.ini"),
                                   std::filesystem::copy_options::overwrite_existing);
        const ListTab tab = list().tab();
        quil::ui::RecordListModel fresh;
        fresh.setUp(tab);
        fresh.setRecords(quil::ui::loadRecords(other.dir(), dir(), tab));
        ASSERT_EQ(list().positions(), fresh.positions()) << what;
        EXPECT_EQ(rowIndex(), fresh.positions()) << what;
        ASSERT_EQ(list().rowCount(), fresh.rowCount()) << what;
        for (int row = 1; row < fresh.rowCount(); ++row)
            for (int col = 1; col < fresh.columnCount(); ++col)
                ASSERT_EQ(list().text(row, col), fresh.text(row, col))
                    << what << " row " << row << " column " << col;
    }
};

}  // namespace

TEST_F(ListUpdate, RowsAndRowIndexAfterEveryKindOfChangeEqualAFullLoad) {
    std::map<std::string, int> seen;
    for (unsigned seed = 1; seed <= 4; ++seed) {
        random.seed(seed);
        writeSortedFile(40 + pick(40));
        start();
        auto tester = std::make_unique<QAbstractItemModelTester>(
            main->listModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        main->TabControl1->setCurrentIndex(int(seed % 4));
        expectSameAsFullLoad("load");
        for (int step = 0; step < 60; ++step) {
            const std::string what =
                "seed " + std::to_string(seed) + " step " + std::to_string(step);
            const int rows = list().recordCount();
            const int op = rows == 0 ? 0 : pick(3);
            if (op == 2) {
                const std::int32_t pos = list().position(1 + pick(rows));
                RecordStore(dir()).markDeleted(pos);
                main->followRecordChange(DataSetChange::recordDeleted(pos, DataRecord()));
                ++seen["delete"];
                EXPECT_EQ(main->selectedRow(), 0) << what;
            } else {
                DataRecord r = randomRecord();
                std::optional<std::int64_t> at;
                if (op == 1) {
                    at = list().position(1 + pick(rows));
                    r = RecordStore(dir()).read(*at);
                    // Mostly a small move (often in place), sometimes far or out of the list.
                    r.setDate(r.date() + (pick(3) == 0 ? pick(40) - 20 : pick(3) - 1) / 4.0);
                    if (pick(6) == 0) r.setVehicle(1);
                    r.setPrice(pick(9000));
                }
                const SavedPlace place = RecordStore(dir()).save(r, at);
                main->followRecordChange(DataSetChange::recordSaved(place, r));
                ++seen[place.way == Way::Appended    ? "append"
                       : place.way == Way::Rewritten ? "in place"
                       : place.markedDeleted >= 0    ? "moving edit"
                                                     : "insertion"];
                const int row = main->selectedRow();
                if (list().takes(r)) {
                    ASSERT_GT(row, 0) << what;
                    EXPECT_EQ(list().position(row), place.position) << what;
                    EXPECT_TRUE(main->ComboGrid1->selectionModel()->isRowSelected(row)) << what;
                } else {
                    EXPECT_EQ(row, 0) << what;
                }
            }
            expectSameAsFullLoad(what);
            if (HasFatalFailure()) return;
        }
        tester.reset();
        main.reset();
    }
    for (const char* way : {"append", "in place", "moving edit", "insertion", "delete"})
        EXPECT_GT(seen[way], 0) << way << " never happened";
}

TEST_F(ListUpdate, TheFirstRecordFillsTheEmptyRowAndTheLastDeleteEmptiesIt) {
    start();  // no record file: the list has one empty row
    QAbstractItemModelTester tester(main->listModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto r = makeRecord(37001, 0, 3, 10, 0);
    main->followRecordChange(DataSetChange::recordSaved(RecordStore(dir()).save(r, std::nullopt), r));
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(main->selectedRow(), 1);
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{0}));

    auto later = makeRecord(37002, 2, 4, 20, 0);
    main->followRecordChange(DataSetChange::recordSaved(RecordStore(dir()).save(later, std::nullopt), later));
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(main->selectedRow(), 2);
    EXPECT_EQ(cell(0, 2), QStringLiteral("⇒"));
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{0, 1}));

    for (std::int32_t pos : {0, 1}) {
        RecordStore(dir()).markDeleted(pos);
        main->followRecordChange(DataSetChange::recordDeleted(pos, DataRecord()));
    }
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(cell(1, 1), QString());
    EXPECT_TRUE(rowIndex().empty());
    expectSameAsFullLoad("all deleted");
}

TEST_F(ListUpdate, AnOutsideChangeAfterAnInPlaceUpdateIsStillRefused) {
    writeRecords<DataRecord>(tmp.file("Quil.qud"),
                             {makeRecord(37010, 0, 3, 1, 0), makeRecord(37011, 0, 3, 2, 0)});
    start();
    // A save at the front moves both rows down.
    auto front = makeRecord(37000, 0, 3, 3, 0);
    main->followRecordChange(DataSetChange::recordSaved(RecordStore(dir()).save(front, std::nullopt), front));
    ASSERT_EQ(rowIndex(), (std::vector<std::int32_t>{0, 1, 2}));
    main->ComboGrid1->selectRow(3);
    main->ComboGrid1Click();
    // Another program puts a different record where row 3's record was.
    auto moved = RecordStore(dir()).read(2);
    moved.setPrice(99);
    writeRecords<DataRecord>(tmp.file("Quil.qud"), {front, makeRecord(37010, 0, 3, 1, 0), moved});
    prompts.answerQuestion(true);
    main->commands()->DeleteClick();
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_FALSE(RecordStore(dir()).read(2).deleted());
    EXPECT_EQ(main->selectedRow(), 0) << "the list was loaded again";

    // A record the list no longer takes (another program marked it deleted) is refused too.
    main->ComboGrid1->selectRow(1);
    main->ComboGrid1Click();
    RecordStore(dir()).markDeleted(0);
    prompts.answerQuestion(true);
    main->commands()->DeleteClick();
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_EQ(rows(), 3) << "reloaded without the deleted record";
}

// Deleting the last row while the list shows its end (add, notice the mistake, delete): the
// rows, their numbers in the fixed columns and the picture on screen (the window as the delete
// repainted it, not a fresh paint) are what a fresh load of the file shows at its end.
TEST_F(ListUpdate, DeletingTheLastRowAtTheEndShowsWhatAFreshListShows) {
    std::vector<DataRecord> recs;
    for (int i = 0; i < 300; ++i) recs.push_back(makeRecord(37000 + i / 4.0, 0, 3, 100 + i, 0));
    writeRecords<DataRecord>(tmp.file("Quil.qud"), recs);
    start();
    auto& grid = *main->ComboGrid1;
    const auto onScreen = [&] {
        const QRect area(grid.mapTo(main.get(), QPoint(0, 0)), grid.size());
        return main->screen()->grabWindow(main->winId()).copy(area).toImage();
    };
    for (int deletes = 0; deletes < 2; ++deletes) {
        const int last = list().recordCount();
        grid.scrollToBottom();
        QApplication::processEvents();
        grid.selectRow(last);
        main->ComboGrid1Click();
        prompts.answerQuestion(true);
        main->commands()->DeleteClick();
        QApplication::processEvents(QEventLoop::AllEvents, 2000);

        ASSERT_EQ(list().recordCount(), last - 1);
        EXPECT_EQ(main->selectedRow(), 0);
        EXPECT_EQ(cell(1, last - 1), QString::number(last - 1));
        EXPECT_EQ(cell(1, last - 1 - 20), QString::number(last - 1 - 20));
        expectSameAsFullLoad("delete " + std::to_string(deletes));
        ASSERT_EQ(grid.verticalScrollBar()->value(), grid.verticalScrollBar()->maximum());
        const QImage afterDelete = onScreen();

        main->reloadList();
        grid.scrollToBottom();
        main->repaint();
        QApplication::processEvents();
        EXPECT_TRUE(afterDelete == onScreen())
            << "the grid after delete " << deletes << " differs from a fresh list at its end";
    }
}
