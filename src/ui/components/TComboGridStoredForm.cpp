// TComboGrid's stored form: the cell texts and the column kinds written and read as a
// value list, checked whole before anything in the grid changes.

#include <memory>
#include <vector>

#include "ui/components/TComboGrid.h"
#include "ui/components/TStringTableModel.h"
#include "ui/components/TValueList.h"

namespace quil::ui {

namespace {

struct StoredCell {
    int col;
    int row;
    QString text;
};

std::vector<StoredCell> parseCellData(TValueReader& reader) {
    std::vector<StoredCell> cells;
    reader.ReadListBegin();
    while (!reader.EndOfList()) {
        const qsizetype at = reader.Position();
        StoredCell cell;
        cell.col = reader.ReadInteger();
        cell.row = reader.ReadInteger();
        cell.text = reader.ReadString();
        if (cell.col < 0 || cell.row < 0) {
            throw TStoredFormError(
                at, QStringLiteral("セルの位置 (%1, %2) が負の値です").arg(cell.col).arg(cell.row));
        }
        cells.push_back(std::move(cell));
    }
    reader.ReadListEnd();
    return cells;
}

std::vector<std::unique_ptr<TCellKind>> parseCellKind(TValueReader& reader, TComboGrid* grid) {
    std::vector<std::unique_ptr<TCellKind>> kinds;
    reader.ReadListBegin();
    while (!reader.EndOfList()) {
        auto kind = std::make_unique<TCellKind>(grid);
        kind->Kind = quint8(reader.ReadInteger());
        const quint8 fixedAlignment = quint8(reader.ReadInteger());
        const quint8 alignment = quint8(reader.ReadInteger());
        const qsizetype at = reader.Position();
        const qint32 n = reader.ReadInteger();
        if (n < 0) throw TStoredFormError(at, QStringLiteral("項目数 %1 が負の値です").arg(n));
        for (qint32 i = 0; i < n; ++i) {
            const QString text = reader.ReadString();
            const qint32 value = kind->Kind == ckCheck ? reader.ReadInteger() : 0;
            kind->Items.Add(text, value);
        }
        kind->ListWidth = reader.ReadInteger();
        kind->Margin = qint8(quint8(reader.ReadInteger()));
        kind->EditLimit = reader.ReadInteger();
        kind->Editable = reader.ReadBoolean();
        // Set without a repaint: the grid repaints once when the whole list is in place.
        kind->setGrid(nullptr);
        kind->setFixedAlignment(fixedAlignment);
        kind->setAlignment(alignment);
        kind->setGrid(grid);
        kinds.push_back(std::move(kind));
    }
    reader.ReadListEnd();
    return kinds;
}

void checkCellsFit(const std::vector<StoredCell>& cells, int cols, int rows) {
    for (const StoredCell& cell : cells) {
        if (cell.col >= cols || cell.row >= rows) {
            throw TStoredFormError(0,
                                   QStringLiteral("セル (%1, %2) が %3 列 %4 行の表の外にあります")
                                       .arg(cell.col)
                                       .arg(cell.row)
                                       .arg(cols)
                                       .arg(rows));
        }
    }
}

}  // namespace

void TComboGrid::WriteCellData(TValueWriter& writer) const {
    writer.WriteListBegin();
    const int cols = ColCount();
    const int rows = RowCount();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const QString text = Cells(c, r);
            if (text.isEmpty()) continue;
            writer.WriteInteger(c);
            writer.WriteInteger(r);
            writer.WriteString(text);
        }
    }
    writer.WriteListEnd();
}

void TComboGrid::WriteCellKind(TValueWriter& writer) {
    writer.WriteListBegin();
    for (int c = 0; c < ColCount(); ++c) {
        const TCellKind& kind = CellKind(c);
        writer.WriteInteger(kind.Kind);
        writer.WriteInteger(kind.FixedAlignment());
        writer.WriteInteger(kind.Alignment());
        writer.WriteInteger(kind.Items.Count());
        for (int i = 0; i < kind.Items.Count(); ++i) {
            writer.WriteString(kind.Items.Strings(i));
            if (kind.Kind == ckCheck) writer.WriteInteger(kind.Items.Objects(i));
        }
        writer.WriteInteger(kind.ListWidth);
        writer.WriteInteger(kind.Margin);
        writer.WriteInteger(kind.EditLimit);
        writer.WriteBoolean(kind.Editable);
    }
    writer.WriteListEnd();
}

void TComboGrid::ReadCellData(TValueReader& reader) {
    const auto cells = parseCellData(reader);
    checkCellsFit(cells, ColCount(), RowCount());
    for (const StoredCell& cell : cells) setCells(cell.col, cell.row, cell.text);
}

void TComboGrid::ReadCellKind(TValueReader& reader) {
    kinds_ = parseCellKind(reader, this);
    Invalidate();
}

QByteArray TComboGrid::StoredForm() {
    TValueWriter writer;
    writer.WritePropName("CellData");
    WriteCellData(writer);
    writer.WritePropName("CellKind");
    WriteCellKind(writer);
    return writer.Data();
}

void TComboGrid::ReadStoredForm(QByteArrayView bytes) {
    TValueReader reader(bytes);
    std::optional<std::vector<StoredCell>> cells;
    std::optional<std::vector<std::unique_ptr<TCellKind>>> kinds;
    while (!reader.AtEnd()) {
        const qsizetype at = reader.Position();
        const QByteArray name = reader.ReadPropName();
        if (name == "CellData") {
            cells = parseCellData(reader);
        } else if (name == "CellKind") {
            kinds = parseCellKind(reader, this);
        } else {
            throw TStoredFormError(
                at, QStringLiteral("未知のプロパティ「%1」です").arg(QString::fromLatin1(name)));
        }
    }
    if (cells) checkCellsFit(*cells, ColCount(), RowCount());
    if (kinds) kinds_ = std::move(*kinds);
    if (cells) {
        for (const StoredCell& cell : *cells) setCells(cell.col, cell.row, cell.text);
    }
    Invalidate();
}

}  // namespace quil::ui
