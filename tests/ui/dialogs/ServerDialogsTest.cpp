// The entry dialog on a data set on a server: a record added and edited through the dialog,
// an edit refused after another clerk changed the record, a save repeated after its answer
// was lost stored once, and a user who may only read.

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "LoginRole.h"
#include "RecordBuilders.h"
#include "ServerDialogsFixture.h"
#include "ui/dialogs/ServerWrites.h"
#include "ui/dialogs/TDataInputForm.h"

namespace quil::servertest {
namespace {

using What = store::DataSetChange::What;

class ServerEntryTest : public ServerDialogTest {
protected:
    std::unique_ptr<ui::TDataInputForm> form;

    void SetUp() override {
        ServerDialogTest::SetUp();
        form = std::make_unique<ui::TDataInputForm>(main, &main.window);
    }
    void open(const char* caption) {
        form->setWindowTitle(u(caption));
        form->show();
    }
    void pressOk() { QTest::mouseClick(form->Button1(), Qt::LeftButton); }

    // A driving record stored directly, with these remarks.
    store::StoredRecord stored(const char* remarks) {
        store::DataRecord r = testing::entryRecord(1, store::encodeDate(2024, 5, 3), kTruck,
                                                   kYamada, testing::kSampleStamp);
        r.setRemarks(remarks);
        return data->addRecord(r, store::newSaveKey());
    }
};

TEST_F(ServerEntryTest, AddStoresTheRecordAndEditReplacesItUnderTheSameId) {
    open("走行記録－追加");
    ASSERT_EQ(form->vehicleList()->currentText(), u("車両1"));
    form->remarksBox()->setText(u("初回"));
    form->valueBox3()->setText(u("本社"));
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty()) << prompts.last().text.toStdString();
    EXPECT_FALSE(form->isVisible());
    auto rows = records();
    ASSERT_EQ(rows.size(), 1u);
    const store::StoredRecord added = rows[0];
    EXPECT_EQ(added.record.remarks(), "初回");
    EXPECT_EQ(added.record.destination(), "本社");
    EXPECT_EQ(added.record.vehicle(), kCar1);
    EXPECT_EQ(added.record.user(), kUser1);
    EXPECT_EQ(added.record.item(), kDelivery);
    EXPECT_EQ(added.record.date(), store::encodeDate(2024, 5, 10));
    // The list is told to read the records again (no file positions on a server).
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].what, What::RecordsChanged);
    EXPECT_EQ(heard[0].source, store::ChangeSource::ThisProgram);

    // The edit reads the record by the id behind the selected row, not by a row index file.
    main.recordId = added.id;
    main.row = 0;
    open("走行記録－修正");
    EXPECT_EQ(form->remarksBox()->text(), u("初回"));
    EXPECT_EQ(form->valueBox3()->text(), u("本社"));
    form->remarksBox()->setText(u("修正後"));
    form->userList()->setCurrentIndex(1);  // 山田
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty()) << prompts.last().text.toStdString();
    rows = records();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].id, added.id);
    EXPECT_GT(rows[0].version, added.version);
    EXPECT_EQ(rows[0].record.remarks(), "修正後");
    EXPECT_EQ(rows[0].record.user(), kYamada);
    EXPECT_EQ(rows[0].record.destination(), "本社");
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].what, What::RecordsChanged);
}

TEST_F(ServerEntryTest, PickListsComeFromTheServersMasterListsWithoutDeletedItems) {
    open("給油記録－追加");
    QStringList vehicles;
    for (int i = 0; i < form->vehicleList()->count(); ++i)
        vehicles << form->vehicleList()->itemText(i);
    EXPECT_EQ(vehicles, (QStringList{u("車両1"), u("軽トラ")}));  // 旧車 is deleted
    EXPECT_EQ(form->thirdList()->itemText(0), u("駅前SS"));
    form->valueBox2()->setText(u("3000"));
    form->valueBox3()->setText(u("300"));
    pressOk();
    const auto rows = records();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].record.place(), kStation);
    EXPECT_EQ(rows[0].record.price(), 3000);
}

TEST_F(ServerEntryTest, AnEditOfARecordAnotherClerkChangedMeanwhileIsRefused) {
    const store::StoredRecord mine = stored("元の備考");
    main.recordId = mine.id;
    open("走行記録－修正");
    ASSERT_EQ(form->remarksBox()->text(), u("元の備考"));

    store::DataRecord theirs = mine.record;
    theirs.setRemarks("他の人の修正");
    otherClerk->editRecord(otherClerk->readRecord(mine.id), theirs, store::newSaveKey());

    form->remarksBox()->setText(u("私の修正"));
    pressOk();
    expectWarning(store::kRecordChangedText);
    EXPECT_FALSE(form->isVisible());
    const store::StoredRecord now = data->readRecord(mine.id);
    EXPECT_EQ(now.record.remarks(), "他の人の修正");
    EXPECT_EQ(records().size(), 1u);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].what, What::RecordsChanged);
    EXPECT_EQ(heard[0].source, store::ChangeSource::Elsewhere);
}

TEST_F(ServerEntryTest, ARecordDeletedElsewhereBeforeTheEditOpensIsNotShownForEditing) {
    const store::StoredRecord gone = stored("削除済み");
    otherClerk->deleteRecord(otherClerk->readRecord(gone.id), store::newSaveKey());
    main.recordId = gone.id;
    open("走行記録－修正");
    QCoreApplication::processEvents();
    expectWarning(store::kRecordChangedText);
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].source, store::ChangeSource::Elsewhere);
    EXPECT_TRUE(records().empty());
    EXPECT_EQ(records(true).size(), 1u);
}

TEST_F(ServerEntryTest, TheSaveCheckIsAskedWithTheRecordsIdAndCanKeepTheDialogOpen) {
    const store::StoredRecord mine = stored("前");
    std::vector<std::optional<std::int64_t>> asked;
    bool answer = false;
    form->setSaveCheck([&](QWidget*, const store::DataRecord&, std::optional<std::int64_t> id) {
        asked.push_back(id);
        return answer;
    });
    main.recordId = mine.id;
    open("走行記録－修正");
    form->remarksBox()->setText(u("後"));
    pressOk();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], mine.id);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(data->readRecord(mine.id).record.remarks(), "前");

    answer = true;
    pressOk();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(data->readRecord(mine.id).record.remarks(), "後");

    open("走行記録－追加");
    pressOk();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[2], std::nullopt);  // a new record has no id yet
    EXPECT_EQ(records().size(), 2u);
}

TEST_F(ServerEntryTest, ASaveRepeatedAfterItsAnswerWasLostIsStoredOnce) {
    LosingAnswers losing(*data);
    main.server = &losing;
    losing.loseAnswers = 1;
    open("出費記録－追加");
    form->remarksBox()->setText(u("駐車"));
    pressOk();
    // The server cannot be reached as far as the dialog knows: it says so and keeps the input.
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().icon, ui::PromptIcon::Error);
    EXPECT_TRUE(prompts.last().text.contains(u("サーバーとの接続が切れました")))
        << prompts.last().text.toStdString();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->remarksBox()->text(), u("駐車"));
    EXPECT_EQ(records().size(), 1u);  // the save itself went through

    pressOk();
    EXPECT_EQ(prompts.boxes().size(), 1u);
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(records().size(), 1u);
    ASSERT_EQ(losing.keys.size(), 2u);
    EXPECT_EQ(losing.keys[0], losing.keys[1]);

    // The next opening is another save, with a key of its own.
    open("出費記録－追加");
    pressOk();
    EXPECT_EQ(records().size(), 2u);
    ASSERT_EQ(losing.keys.size(), 3u);
    EXPECT_NE(losing.keys[2], losing.keys[0]);
}

TEST_F(ServerEntryTest, InputChangedBeforeTheRepeatedSaveIsWhatEndsUpStored) {
    LosingAnswers losing(*data);
    main.server = &losing;
    losing.loseAnswers = 1;
    open("出費記録－追加");
    form->remarksBox()->setText(u("最初"));
    pressOk();
    ASSERT_TRUE(form->isVisible());
    form->remarksBox()->setText(u("直した"));
    form->valueBox2()->setText(u("500"));
    pressOk();
    EXPECT_FALSE(form->isVisible());
    const auto rows = records();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].record.remarks(), "直した");
    EXPECT_EQ(rows[0].record.price(), 500);
}

TEST_F(ServerEntryTest, AnEditRepeatedAfterItsAnswerWasLostIsNotTakenForAConflict) {
    const store::StoredRecord before = stored("前");
    LosingAnswers losing(*data);
    main.server = &losing;
    main.recordId = before.id;
    losing.loseAnswers = 1;
    open("走行記録－修正");
    form->remarksBox()->setText(u("後"));
    pressOk();
    EXPECT_TRUE(form->isVisible());
    pressOk();
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(prompts.boxes().size(), 1u);  // only the lost connection, no conflict warning
    const store::StoredRecord after = data->readRecord(before.id);
    EXPECT_EQ(after.record.remarks(), "後");
    EXPECT_EQ(after.version, before.version + 1);  // changed once
}

TEST_F(ServerEntryTest, AReadOnlyUserIsRefusedByTheProgramAndByTheDatabase) {
    test::LoginRole viewer(db.conninfo(), "quil_viewer");
    auto viewerData = server::openServerStore(viewer.conninfo());
    main.server = viewerData.get();
    main.readOnly = !viewerData->writable();  // as the main window marks the data set
    ASSERT_TRUE(main.readOnly);

    open("走行記録－追加");
    form->remarksBox()->setText(u("閲覧者"));
    pressOk();
    expectWarning(ui::kServerReadOnlyText);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(records().empty());

    // Were the program to let it through, the database refuses it.
    main.readOnly = false;
    prompts.clear();
    pressOk();
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().icon, ui::PromptIcon::Error);
    EXPECT_TRUE(prompts.last().text.contains(u("権限がありません")))
        << prompts.last().text.toStdString();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(records().empty());
}

}  // namespace
}  // namespace quil::servertest
