#include "ui/components/Cp932LimitValidator.h"

#include "store/Codec.h"

namespace quil::ui {

QValidator::State Cp932LimitValidator::validate(QString& input, int&) const {
    return store::cp932Length(input.toStdString()) <= limit_ ? Acceptable : Invalid;
}

}  // namespace quil::ui
