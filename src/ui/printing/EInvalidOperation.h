#pragma once
// An operation that is not allowed in the object's present state (no grid to print, the grid
// changed during a run). what() is the message for the user, in UTF-8.

#include <stdexcept>
#include <string>

namespace quil::ui {

class EInvalidOperation : public std::logic_error {
public:
    explicit EInvalidOperation(const std::string& message) : std::logic_error(message) {}
};

// The printer could not start or finish a document (none installed, a file that cannot be
// written). what() is the message for the user, in UTF-8.
class EPrinterError : public std::runtime_error {
public:
    explicit EPrinterError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quil::ui
