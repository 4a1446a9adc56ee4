#pragma once
// The baseline for the list benchmarks: what plain Qt does with the same file, a read-only
// memory map of Quil.qud behind a table model that formats three columns of the rows
// painted.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractTableModel>
#include <QDate>
#include <cstring>
#include <string>

namespace quil::bench {

class PlainTableModel : public QAbstractTableModel {
public:
    explicit PlainTableModel(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size > 0) {
            size_ = std::size_t(st.st_size);
            void* m = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
            if (m != MAP_FAILED) bytes_ = static_cast<const unsigned char*>(m);
        }
        if (fd >= 0) ::close(fd);
    }
    ~PlainTableModel() override {
        if (bytes_) ::munmap(const_cast<unsigned char*>(bytes_), size_);
    }
    int rowCount(const QModelIndex& = {}) const override { return bytes_ ? int(size_ / 256) : 0; }
    int columnCount(const QModelIndex& = {}) const override { return 3; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !bytes_) return {};
        const unsigned char* r = bytes_ + std::size_t(index.row()) * 256;
        double v = 0;
        std::memcpy(&v, r + (index.column() == 0 ? 20 : 24 + 8 * index.column()), 8);
        if (index.column() == 0)
            return QDate(1899, 12, 30).addDays(qint64(v)).toString(QStringLiteral("yyyy/MM/dd"));
        return QString::number(v, 'f', 1);
    }

private:
    const unsigned char* bytes_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace quil::bench
