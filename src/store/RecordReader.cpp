#include "RecordReader.h"

namespace quil::store {

RecordReader::RecordReader(std::string path, FileSystem& fs) : path_(std::move(path)), fs_(fs) {}

void RecordReader::reset(std::string path) {
    path_ = std::move(path);
    forget();
}

void RecordReader::forget() {
    file_.reset();
    missing_ = false;
    blocks_.reset();
}

std::optional<DataRecord> RecordReader::read(std::int64_t position) {
    if (position < 0 || path_.empty()) return std::nullopt;
    if (!blocks_) blocks_ = std::make_unique<std::array<Block, kBlocks>>();
    const std::int64_t first = position - position % std::int64_t(kBlockRecords);
    Block* use = nullptr;
    for (Block& b : *blocks_) {
        if (b.first == first) {
            use = &b;
            break;
        }
        if (!use || b.lastUse < use->lastUse) use = &b;
    }
    if (use->first != first) {
        if (!file_) {
            if (missing_ || !fs_.exists(path_)) {
                missing_ = true;
                return std::nullopt;
            }
            file_ = fs_.open(path_, OpenMode::Read);
        }
        use->first = -1;
        const std::size_t got =
            file_->readAt(std::uint64_t(first) * DataRecord::Size, use->records.data(),
                          kBlockRecords * DataRecord::Size);
        use->count = got / DataRecord::Size;
        use->first = first;
    }
    use->lastUse = ++uses_;
    const std::size_t at = std::size_t(position - first);
    if (at >= use->count) return std::nullopt;
    return use->records[at];
}

}  // namespace quil::store
