#pragma once
// Refuses an edit (a keystroke or a paste) that would make the text longer than a record's
// text field holds in CP932 bytes (a full-width character takes two), or that brings in a
// character CP932 cannot hold, so nothing the user typed is cut off or turned into '?' when
// it is stored, and the cursor stays where the user put it.

#include <QValidator>
#include <cstddef>

namespace quil::ui {

class Cp932LimitValidator : public QValidator {
public:
    Cp932LimitValidator(std::size_t limit, QObject* parent) : QValidator(parent), limit_(limit) {}
    State validate(QString& input, int& position) const override;
    std::size_t limit() const { return limit_; }

private:
    std::size_t limit_;
};

}  // namespace quil::ui
