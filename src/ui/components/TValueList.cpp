#include "ui/components/TValueList.h"

#include "store/Codec.h"

namespace quil::ui {

namespace {

QString typeName(quint8 type) {
    switch (type) {
        case vaNull: return QStringLiteral("並びの終わり (00)");
        case vaList: return QStringLiteral("並び (01)");
        case vaInt8:
        case vaInt16:
        case vaInt32: return QStringLiteral("整数 (%1)").arg(type, 2, 16, QLatin1Char('0'));
        case vaString:
        case vaLString: return QStringLiteral("文字列 (%1)").arg(type, 2, 16, QLatin1Char('0'));
        case vaFalse:
        case vaTrue: return QStringLiteral("真偽値 (%1)").arg(type, 2, 16, QLatin1Char('0'));
        default: return QStringLiteral("未知の型 (%1)").arg(type, 2, 16, QLatin1Char('0'));
    }
}

}  // namespace

TStoredFormError::TStoredFormError(qsizetype offset, const QString& reason)
    : std::runtime_error(QStringLiteral("保存された格子の形式が正しくありません（%1 バイト目）：%2")
                             .arg(offset)
                             .arg(reason)
                             .toStdString()),
      offset_(offset),
      reason_(reason) {}

void TValueWriter::WritePropName(QByteArrayView name) {
    const auto n = qMin<qsizetype>(name.size(), 255);
    bytes_.append(char(n));
    bytes_.append(name.first(n));
}

void TValueWriter::WriteInteger(qint32 value) {
    if (value >= -128 && value <= 127) {
        bytes_.append(char(vaInt8));
        bytes_.append(char(qint8(value)));
    } else if (value >= -32768 && value <= 32767) {
        bytes_.append(char(vaInt16));
        const auto u = quint16(qint16(value));
        bytes_.append(char(u & 0xFF));
        bytes_.append(char(u >> 8));
    } else {
        bytes_.append(char(vaInt32));
        const auto u = quint32(value);
        for (int i = 0; i < 4; ++i) bytes_.append(char((u >> (8 * i)) & 0xFF));
    }
}

void TValueWriter::WriteString(const QString& text) {
    const std::string cp932 = store::toCp932(text.toStdString());
    WriteRawString(QByteArrayView(cp932.data(), qsizetype(cp932.size())));
}

void TValueWriter::WriteRawString(QByteArrayView cp932) {
    const auto n = quint32(cp932.size());
    if (n < 256) {
        bytes_.append(char(vaString));
        bytes_.append(char(n));
    } else {
        bytes_.append(char(vaLString));
        for (int i = 0; i < 4; ++i) bytes_.append(char((n >> (8 * i)) & 0xFF));
    }
    bytes_.append(cp932);
}

void TValueReader::fail(const QString& reason) const { throw TStoredFormError(pos_, reason); }

quint8 TValueReader::takeByte(const char* what) {
    if (pos_ >= data_.size()) {
        fail(QStringLiteral("%1の途中でデータが終わっています").arg(QString::fromUtf8(what)));
    }
    return quint8(data_[pos_++]);
}

quint32 TValueReader::takeLittleEndian(int count, const char* what) {
    if (data_.size() - pos_ < count) {
        fail(QStringLiteral("%1の途中でデータが終わっています").arg(QString::fromUtf8(what)));
    }
    quint32 v = 0;
    for (int i = 0; i < count; ++i) v |= quint32(quint8(data_[pos_ + i])) << (8 * i);
    pos_ += count;
    return v;
}

TValueType TValueReader::NextValue() const {
    if (pos_ >= data_.size()) fail(QStringLiteral("値の並びが途中で終わっています"));
    return TValueType(quint8(data_[pos_]));
}

QByteArray TValueReader::ReadPropName() {
    const quint8 n = takeByte("プロパティ名");
    if (data_.size() - pos_ < n) fail(QStringLiteral("プロパティ名の途中でデータが終わっています"));
    QByteArray name = data_.sliced(pos_, n).toByteArray();
    pos_ += n;
    return name;
}

void TValueReader::ReadListBegin() {
    const auto t = NextValue();
    if (t != vaList) {
        fail(QStringLiteral("値の並び (01) があるべきところに%1があります").arg(typeName(t)));
    }
    ++pos_;
}

bool TValueReader::EndOfList() const { return NextValue() == vaNull; }

void TValueReader::ReadListEnd() {
    const auto t = NextValue();
    if (t != vaNull) {
        fail(QStringLiteral("並びの終わり (00) があるべきところに%1があります").arg(typeName(t)));
    }
    ++pos_;
}

qint32 TValueReader::ReadInteger() {
    const auto t = NextValue();
    switch (t) {
        case vaInt8: ++pos_; return qint8(takeByte("整数"));
        case vaInt16: ++pos_; return qint16(quint16(takeLittleEndian(2, "整数")));
        case vaInt32: ++pos_; return qint32(takeLittleEndian(4, "整数"));
        default: fail(QStringLiteral("整数があるべきところに%1があります").arg(typeName(t)));
    }
}

QByteArray TValueReader::ReadRawString() {
    const auto t = NextValue();
    quint32 n = 0;
    if (t == vaString) {
        ++pos_;
        n = takeByte("文字列の長さ");
    } else if (t == vaLString) {
        ++pos_;
        n = takeLittleEndian(4, "文字列の長さ");
    } else {
        fail(QStringLiteral("文字列があるべきところに%1があります").arg(typeName(t)));
    }
    if (quint64(n) > quint64(data_.size() - pos_)) {
        fail(QStringLiteral("文字列の長さ %1 がデータの終わりを越えています").arg(n));
    }
    QByteArray bytes = data_.sliced(pos_, qsizetype(n)).toByteArray();
    pos_ += qsizetype(n);
    return bytes;
}

QString TValueReader::ReadString() {
    const QByteArray raw = ReadRawString();
    return QString::fromStdString(store::fromCp932(std::string_view(raw.data(), raw.size())));
}

bool TValueReader::ReadBoolean() {
    const auto t = NextValue();
    if (t != vaTrue && t != vaFalse) {
        fail(QStringLiteral("真偽値があるべきところに%1があります").arg(typeName(t)));
    }
    ++pos_;
    return t == vaTrue;
}

}  // namespace quil::ui
