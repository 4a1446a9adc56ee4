#pragma once
// Progress of long work on stderr: a bar redrawn in place when stderr is a terminal,
// otherwise a line at every tenth for work of 100,000 records or more.

#include <cstdint>
#include <ostream>
#include <string>

namespace quil::tool {

class ToolProgress {
public:
    ToolProgress(std::ostream& err, bool terminal, std::string label)
        : err_(err), terminal_(terminal), label_(std::move(label)) {}
    ~ToolProgress();
    void operator()(std::int64_t done, std::int64_t total);

private:
    std::ostream& err_;
    bool terminal_;
    std::string label_;
    int shown_ = -1;
};

}  // namespace quil::tool
