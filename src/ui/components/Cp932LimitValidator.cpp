#include "ui/components/Cp932LimitValidator.h"

#include "store/Codec.h"

namespace quil::ui {

QValidator::State Cp932LimitValidator::validate(QString& input, int&) const {
    // A character the data file cannot hold would be stored as '?': it is not taken. A
    // U+FFFD shown for bytes already damaged in the file is let be, so such a text can
    // still be edited.
    if (!store::toCp932Exact(QString(input).remove(QChar(0xFFFD)).toStdString()))
        return Invalid;
    return store::cp932Length(input.toStdString()) <= limit_ ? Acceptable : Invalid;
}

}  // namespace quil::ui
