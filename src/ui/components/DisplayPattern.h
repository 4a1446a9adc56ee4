#pragma once
// The numeric display pattern of a text column: the cell text read as a decimal number and
// shown through a pattern such as "#,##0" or "0.0;▲0.0;-".

#include <QString>
#include <optional>

namespace quil::ui {

// The text read as a decimal number (optional sign, digits, '.' as the decimal point,
// optional exponent; spaces around it are allowed). nullopt when it is not a number.
std::optional<double> parseDecimalText(const QString& text);

// `value` formatted with `pattern`: digit placeholders 0 (always shown) and # (shown when
// significant), one decimal point '.', a thousands separator ',' anywhere among the integer
// placeholders, literal text before and after the number (also in "..." or '...'), and up to
// three sections "positive;negative;zero". Without a negative section a '-' is put in front;
// rounding is half away from zero on the 15-significant-digit decimal form.
QString formatWithPattern(double value, const QString& pattern);

// What a ckText cell shows: `text` formatted with `pattern` when both are non-empty and the
// text is a number, otherwise `text` unchanged.
QString applyDisplayPattern(const QString& text, const QString& pattern);

}  // namespace quil::ui
