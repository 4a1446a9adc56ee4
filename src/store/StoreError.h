#pragma once
#include <stdexcept>
#include <string>

namespace quil::store {

// An input or output error on one of the program's files. The message names the file
// and the reason, in the program's own words, ready to be shown to the user.
class StoreError : public std::runtime_error {
public:
    StoreError(const std::string& file, const std::string& reason)
        : std::runtime_error(file + ": " + reason), file_(file), reason_(reason) {}
    const std::string& file() const { return file_; }
    const std::string& reason() const { return reason_; }

private:
    std::string file_;
    std::string reason_;
};

// A stored value that should be a number and is not (for example a stored year).
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The reason text for an errno value, in Japanese for the common cases.
std::string errnoReason(int err);

}  // namespace quil::store
