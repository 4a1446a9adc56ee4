// Our side of the value-list round trip with Free Pascal's TWriter/TReader.
// Usage: quil_valuelist_peer write <script.txt> <out.bin>   values of a script to bytes
//        quil_valuelist_peer read <in.bin> <out.txt>        bytes back to a script
//        quil_valuelist_peer grid <out.bin>                 a sample grid's stored form
// Script lines: "N <name>" property name, "L" list begin, "E" list end, "I <int>",
// "S <hex bytes>" string (CP932 bytes), "B <0|1>".
#include <QApplication>
#include <QFile>
#include <QStringList>
#include <iostream>

#include "ui/components/TComboGrid.h"
#include "ui/components/TValueList.h"

using namespace quil::ui;

namespace {

void readValue(TValueReader& r, QByteArray& out) {
    switch (r.NextValue()) {
        case vaList:
            r.ReadListBegin();
            out += "L\n";
            while (!r.EndOfList()) readValue(r, out);
            r.ReadListEnd();
            out += "E\n";
            break;
        case vaInt8:
        case vaInt16:
        case vaInt32: out += "I " + QByteArray::number(r.ReadInteger()) + "\n"; break;
        case vaString:
        case vaLString: out += "S " + r.ReadRawString().toHex() + "\n"; break;
        default: out += QByteArray("B ") + (r.ReadBoolean() ? "1" : "0") + "\n"; break;
    }
}

bool writeFile(const char* path, const QByteArray& data) {
    QFile f(QString::fromLocal8Bit(path));
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "write" && argc == 4) {
            QFile in(QString::fromLocal8Bit(argv[2]));
            if (!in.open(QIODevice::ReadOnly)) return 2;
            TValueWriter w;
            for (const QByteArray& raw : in.readAll().split('\n')) {
                const QByteArray line = raw.trimmed();
                if (line.isEmpty()) continue;
                const QByteArray arg = line.mid(2);
                switch (line.at(0)) {
                    case 'N': w.WritePropName(arg); break;
                    case 'L': w.WriteListBegin(); break;
                    case 'E': w.WriteListEnd(); break;
                    case 'I': w.WriteInteger(arg.toInt()); break;
                    case 'S': w.WriteRawString(QByteArray::fromHex(arg)); break;
                    case 'B': w.WriteBoolean(arg == "1"); break;
                    default: std::cerr << "bad script line\n"; return 2;
                }
            }
            return writeFile(argv[3], w.Data()) ? 0 : 2;
        }
        if (mode == "read" && argc == 4) {
            QFile in(QString::fromLocal8Bit(argv[2]));
            if (!in.open(QIODevice::ReadOnly)) return 2;
            const QByteArray data = in.readAll();
            TValueReader r(data);
            QByteArray out;
            while (!r.AtEnd()) {
                out += "N " + r.ReadPropName() + "\n";
                readValue(r, out);
            }
            return writeFile(argv[3], out) ? 0 : 2;
        }
        if (mode == "grid" && argc == 3) {
            TComboGrid grid;
            grid.setColCount(3);
            grid.setRowCount(2);
            grid.setCells(0, 0, QStringLiteral("車両"));
            grid.setCells(2, 1, QString(300, QLatin1Char('x')));
            grid.CellKind(0).setFixedAlignment(18);
            grid.CellKind(1).Kind = ckCheck;
            grid.CellKind(1).Items.Add(QStringLiteral("×"), 0);
            grid.CellKind(1).Items.Add(QStringLiteral("○"), 1);
            grid.CellKind(2).Kind = ckList;
            grid.CellKind(2).ListWidth = 40000;
            grid.CellKind(2).Margin = -2;
            grid.CellKind(2).Editable = false;
            return writeFile(argv[2], grid.StoredForm()) ? 0 : 2;
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    std::cerr << "usage: quil_valuelist_peer write|read|grid ...\n";
    return 2;
}
