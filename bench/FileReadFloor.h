#pragma once
// The floor the benchmarks' figures are compared with: one plain read of a data set's
// Quil.qud, in 1 MiB blocks.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace quil::bench {

// One plain read of the data set's Quil.qud; the bytes read.
inline std::size_t readRecordFileOnce(const std::string& dir, std::vector<char>& buf) {
    std::size_t bytes = 0;
    const int in = ::open((dir + "Quil.qud").c_str(), O_RDONLY);
    for (ssize_t got; (got = ::read(in, buf.data(), buf.size())) > 0;) {
        benchmark::DoNotOptimize(buf.data());
        bytes += std::size_t(got);
    }
    ::close(in);
    return bytes;
}

// The floor the figures are compared with: one plain read of the data set's Quil.qud.
inline void readRecordFile(benchmark::State& state, const std::string& dir) {
    std::vector<char> buf(1 << 20);
    for (auto _ : state) readRecordFileOnce(dir, buf);
}

}  // namespace quil::bench
