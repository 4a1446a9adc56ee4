#include "tool/ToolProgress.h"

namespace quil::tool {

ToolProgress::~ToolProgress() {
    if (terminal_ && shown_ >= 0) err_ << '\n' << std::flush;
}

void ToolProgress::operator()(std::int64_t done, std::int64_t total) {
    if (total <= 0) return;
    const int percent = int(done * 100 / total);
    if (terminal_) {
        if (percent == shown_) return;
        shown_ = percent;
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        err_ << '\r' << label_ << " [" << std::string(std::size_t(filled), '#')
             << std::string(std::size_t(kWidth - filled), ' ') << "] " << percent << '%'
             << std::flush;
        return;
    }
    if (total < 100000) return;
    const int tenth = percent / 10;
    if (tenth == shown_) return;
    shown_ = tenth;
    err_ << label_ << ": " << tenth * 10 << "%\n" << std::flush;
}

}  // namespace quil::tool
