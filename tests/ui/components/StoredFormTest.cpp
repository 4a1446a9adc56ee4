// The stored form of a combo grid: CellData and CellKind in the value-list encoding.
#include <gtest/gtest.h>

#include <QFile>

#include "ui/components/TComboGrid.h"
#include "ui/components/TValueList.h"

using namespace quil::ui;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

QByteArray fixture(const char* name) {
    QFile f(QStringLiteral(QUIL_TEST_DATA "/components/") + QString::fromLatin1(name));
    if (!f.open(QIODevice::ReadOnly)) ADD_FAILURE() << "missing fixture " << name;
    return f.readAll();
}

const QByteArray kExampleGroup = hex("02 00 02 12 02 11 02 02 06 00 06 00 02 00 02 02 02 00 09");

void setExampleKind(TCellKind& k) {
    k.setFixedAlignment(18);
    k.Items.Add(QString());
    k.Items.Add(QString());
}

}  // namespace

TEST(StoredForm, ExampleGroupAndEmptyCellDataAreStoredByteForByte) {
    TComboGrid grid;
    grid.setColCount(1);
    grid.setRowCount(2);
    setExampleKind(grid.CellKind(0));
    const QByteArray expected = QByteArray(
                                    "\x08"
                                    "CellData") +
                                hex("01 00") +
                                QByteArray(
                                    "\x08"
                                    "CellKind") +
                                hex("01") + kExampleGroup + hex("00");
    EXPECT_EQ(grid.StoredForm().toHex(' '), expected.toHex(' '));

    TValueWriter w;
    grid.WriteCellData(w);
    EXPECT_EQ(w.Data(), hex("01 00"));
}

TEST(StoredForm, CellsAreWrittenRowByRowWithTheirCp932Text) {
    TComboGrid grid;
    grid.setColCount(3);
    grid.setRowCount(2);
    grid.setCells(2, 0, QStringLiteral("A"));
    grid.setCells(0, 1, QStringLiteral("車"));
    grid.setCells(1, 0, QStringLiteral("B"));
    TValueWriter w;
    grid.WriteCellData(w);
    EXPECT_EQ(w.Data().toHex(' '), hex("01"
                                       "02 01 02 00 06 01 42"
                                       "02 02 02 00 06 01 41"
                                       "02 00 02 01 06 02 8e d4"
                                       "00")
                                       .toHex(' '));
}

TEST(StoredForm, IntegersTakeTheSmallestFormAndLongStringsTheFourByteLength) {
    TValueWriter w;
    for (qint32 v : {-128, 127, 128, -129, 32767, -32768, 32768, -32769}) w.WriteInteger(v);
    EXPECT_EQ(w.Data().toHex(' '), hex("02 80 02 7f 03 80 00 03 7f ff 03 ff 7f 03 00 80"
                                       "04 00 80 00 00 04 ff 7f ff ff")
                                       .toHex(' '));
    TValueWriter s;
    s.WriteRawString(QByteArray(255, 'x'));
    s.WriteRawString(QByteArray(256, 'y'));
    s.WriteBoolean(false);
    EXPECT_EQ(s.Data().left(2), hex("06 ff"));
    EXPECT_EQ(s.Data().mid(2 + 255, 5), hex("0c 00 01 00 00"));
    EXPECT_EQ(s.Data().right(1), hex("08"));

    TValueReader r(s.Data());
    EXPECT_EQ(r.ReadRawString(), QByteArray(255, 'x'));
    EXPECT_EQ(r.ReadRawString(), QByteArray(256, 'y'));
    EXPECT_FALSE(r.ReadBoolean());
    EXPECT_TRUE(r.AtEnd());
}

TEST(StoredForm, CheckColumnsStoreEntryValuesOthersDoNot) {
    TComboGrid grid;
    grid.setColCount(2);
    grid.CellKind(0).Kind = ckCheck;
    grid.CellKind(0).Items.Add(QStringLiteral("×"), 0);
    grid.CellKind(0).Items.Add(QStringLiteral("○"), 1);
    grid.CellKind(1).Kind = ckList;
    grid.CellKind(1).Items.Add(QStringLiteral("a"), 7);  // the value of a list entry is not stored
    grid.CellKind(1).Margin = -2;
    grid.CellKind(1).ListWidth = 300;
    grid.CellKind(1).EditLimit = 40;
    grid.CellKind(1).Editable = false;
    TValueWriter w;
    grid.WriteCellKind(w);
    EXPECT_EQ(w.Data().toHex(' '), hex("01"
                                       "02 03 02 11 02 11 02 02 06 02 81 7e 02 00 06 02 81 9b 02 01"
                                       "02 00 02 02 02 00 09"
                                       "02 01 02 11 02 11 02 01 06 01 61"
                                       "03 2c 01 02 fe 02 28 08"
                                       "00")
                                       .toHex(' '));
}

TEST(StoredForm, ColumnCountDecidesHowManyGroupsAreWritten) {
    TComboGrid grid;
    grid.setColCount(10);
    grid.CellKind(14).Kind = ckButton;  // more kinds than columns
    TValueWriter w;
    grid.WriteCellKind(w);
    TValueReader r(w.Data());
    TComboGrid other;
    other.ReadCellKind(r);
    EXPECT_EQ(other.cellKindCount(), 10);
}

TEST(StoredForm, ReadingKindsReplacesTheListAndFollowsTheStoredCount) {
    TComboGrid source;
    source.setColCount(12);
    source.CellKind(11).setAlignment(caRight | caMiddle);
    source.CellKind(11).Kind = ckCheck;
    source.CellKind(11).Items.Add(QStringLiteral("on"), 1);
    const QByteArray stored = source.StoredForm();

    TComboGrid grid;
    grid.setColCount(3);
    grid.CellKind(20).Kind = ckButton;
    grid.ReadStoredForm(stored);
    EXPECT_EQ(grid.cellKindCount(), 12);
    EXPECT_EQ(grid.CellKind(11).Alignment(), caRight | caMiddle);
    EXPECT_EQ(grid.CellKind(11).Items.Objects(0), 1);
    EXPECT_EQ(grid.CellKind(11).Grid(), &grid);

    TComboGrid three;
    three.setColCount(5);
    three.setRowCount(1);
    three.CellKind(4).Kind = ckButton;
    TValueWriter groups;
    groups.WriteListBegin();
    for (int i = 0; i < 3; ++i) {
        for (qint32 v : {0, 17, 17, 0, 0, 2, 0}) groups.WriteInteger(v);
        groups.WriteBoolean(true);
    }
    groups.WriteListEnd();
    TValueReader r(groups.Data());
    three.ReadCellKind(r);
    EXPECT_EQ(three.cellKindCount(), 3);
    EXPECT_FALSE(three.HasCellKind(4));
    EXPECT_EQ(three.CellKind(4).Kind, ckText);  // a fresh default kind on first access
}

TEST(StoredForm, StoredIntegersKeepTheirLowEightBits) {
    TValueWriter groups;
    groups.WriteListBegin();
    for (qint32 v : {0x105, 0x112, 0x211, 0, 0, 0x1FE, 0}) groups.WriteInteger(v);
    groups.WriteBoolean(false);
    groups.WriteListEnd();
    TComboGrid grid;
    TValueReader r(groups.Data());
    grid.ReadCellKind(r);
    EXPECT_EQ(grid.CellKind(0).Kind, 5);
    EXPECT_EQ(grid.CellKind(0).FixedAlignment(), 0x12);
    EXPECT_EQ(grid.CellKind(0).Alignment(), 0x11);
    EXPECT_EQ(grid.CellKind(0).Margin, -2);
    EXPECT_FALSE(grid.CellKind(0).Editable);
    EXPECT_TRUE(grid.CellKind(0).EditMask().isEmpty());  // code 5 behaves as plain text
}

TEST(StoredForm, ReadingCellDataChangesOnlyTheListedCells) {
    TComboGrid grid;
    grid.setColCount(2);
    grid.setRowCount(2);
    grid.setCells(0, 0, QStringLiteral("keep"));
    grid.setCells(1, 1, QStringLiteral("old"));
    grid.ReadStoredForm(fixture("good_two_columns.bin"));
    EXPECT_EQ(grid.Cells(0, 0), QStringLiteral("keep"));
    EXPECT_EQ(grid.Cells(1, 0), QStringLiteral("Kind"));
    EXPECT_EQ(grid.Cells(0, 1), QStringLiteral("車"));
    EXPECT_EQ(grid.Cells(1, 1), QStringLiteral("old"));
    EXPECT_EQ(grid.cellKindCount(), 2);
    EXPECT_EQ(grid.CellKind(1).FixedAlignment(), 18);
    EXPECT_EQ(grid.CellKind(1).Items.Count(), 2);
}

TEST(StoredForm, BrokenInputIsRejectedAndLeavesTheGridAsItWas) {
    for (const char* name :
         {"broken_truncated.bin", "broken_wrong_type.bin", "broken_string_past_end.bin",
          "broken_lstring_ffffffff.bin", "broken_negative_count.bin", "broken_cell_outside.bin",
          "broken_unknown_property.bin", "broken_kinds_then_cell_outside.bin"}) {
        SCOPED_TRACE(name);
        TComboGrid grid;
        grid.setColCount(2);
        grid.setRowCount(2);
        grid.setCells(1, 1, QStringLiteral("before"));
        grid.CellKind(0).Kind = ckButton;
        grid.CellKind(0).Items.Add(QStringLiteral("押す"));
        grid.CellKind(3).setAlignment(caRight);
        const QByteArray before = grid.StoredForm();
        const int kindsBefore = grid.cellKindCount();
        try {
            grid.ReadStoredForm(fixture(name));
            ADD_FAILURE() << "accepted";
        } catch (const TStoredFormError& e) {
            EXPECT_FALSE(e.reason().isEmpty());
            EXPECT_TRUE(
                QString::fromStdString(e.what()).startsWith(QStringLiteral("保存された格子")));
        }
        EXPECT_EQ(grid.StoredForm(), before);
        EXPECT_EQ(grid.cellKindCount(), kindsBefore);
        EXPECT_EQ(grid.CellKind(3).Alignment(), caRight);
    }
}

TEST(StoredForm, EveryCutOfAValidFormIsRejectedCleanly) {
    const QByteArray good = fixture("good_two_columns.bin");
    const qsizetype complete = good.indexOf(
        "\x08"
        "CellKind");  // CellData alone is valid
    ASSERT_GT(complete, 0);
    for (qsizetype n = 1; n < good.size(); ++n) {
        if (n == complete) continue;
        TComboGrid grid;
        grid.setColCount(2);
        grid.setRowCount(2);
        const QByteArray before = grid.StoredForm();
        EXPECT_THROW(grid.ReadStoredForm(good.left(n)), TStoredFormError) << n;
        EXPECT_EQ(grid.StoredForm(), before) << n;
    }
}
