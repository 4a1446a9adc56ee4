#pragma once
// Text between the store (UTF-8 std::string, or literals) and Qt (QString): the one pair of
// conversions every window uses.

#include <QString>
#include <string>
#include <string_view>

namespace quil::ui {

inline QString qs(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline QString qs(const char* utf8) { return QString::fromUtf8(utf8); }
inline std::string utf8(const QString& text) { return text.toStdString(); }

}  // namespace quil::ui
