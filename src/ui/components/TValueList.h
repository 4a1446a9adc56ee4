#pragma once
// The binary value-list encoding in which a window's stored form keeps a grid's cell texts
// and column kinds: a list opens with 0x01 and closes with 0x00; integers take the smallest
// of int8 (0x02), int16 (0x03) and int32 (0x04), little-endian; strings are 0x06 with a
// length byte, or 0x0C with a 4-byte length beyond 255 bytes; Booleans are 0x09 / 0x08.
// Property names are a length byte and the letters. Texts are CP932.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <stdexcept>
#include <string>

namespace quil::ui {

enum TValueType : quint8 {
    vaNull = 0x00,
    vaList = 0x01,
    vaInt8 = 0x02,
    vaInt16 = 0x03,
    vaInt32 = 0x04,
    vaString = 0x06,
    vaFalse = 0x08,
    vaTrue = 0x09,
    vaLString = 0x0C,
};

// A stored form that cannot be read. what() is a message for the user (Japanese) naming
// the byte offset and the reason.
class TStoredFormError : public std::runtime_error {
public:
    TStoredFormError(qsizetype offset, const QString& reason);
    qsizetype offset() const { return offset_; }
    const QString& reason() const { return reason_; }

private:
    qsizetype offset_;
    QString reason_;
};

class TValueWriter {
public:
    void WritePropName(QByteArrayView name);  // at most 255 bytes
    void WriteListBegin() { bytes_.append(char(vaList)); }
    void WriteListEnd() { bytes_.append(char(vaNull)); }
    void WriteInteger(qint32 value);
    void WriteString(const QString& text);      // converted to CP932
    void WriteRawString(QByteArrayView cp932);  // bytes as they are
    void WriteBoolean(bool value) { bytes_.append(char(value ? vaTrue : vaFalse)); }
    const QByteArray& Data() const { return bytes_; }

private:
    QByteArray bytes_;
};

// Reads values from a byte buffer it does not own. Every read checks the value type and
// the remaining length first and throws TStoredFormError instead of reading past the end.
class TValueReader {
public:
    explicit TValueReader(QByteArrayView data) : data_(data) {}
    QByteArray ReadPropName();
    void ReadListBegin();
    bool EndOfList() const;  // the next byte is the list's closing 0x00
    void ReadListEnd();
    qint32 ReadInteger();
    QString ReadString();  // CP932 to Unicode
    QByteArray ReadRawString();
    bool ReadBoolean();
    TValueType NextValue() const;  // the type byte ahead; throws at the end of the data
    bool AtEnd() const { return pos_ >= data_.size(); }
    qsizetype Position() const { return pos_; }

private:
    [[noreturn]] void fail(const QString& reason) const;
    quint8 takeByte(const char* what);
    quint32 takeLittleEndian(int count, const char* what);

    QByteArrayView data_;
    qsizetype pos_ = 0;
};

}  // namespace quil::ui
