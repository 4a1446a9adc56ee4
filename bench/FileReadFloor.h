#pragma once
// The floor the benchmarks' figures are compared with: one plain read of a data set's
// Quil.qud, in 1 MiB blocks.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace quil::bench {

// The floor the figures are compared with: one plain read of the data set's Quil.qud.
inline void readRecordFile(benchmark::State& state, const std::string& dir) {
    std::vector<char> buf(1 << 20);
    for (auto _ : state) {
        const int in = ::open((dir + "Quil.qud").c_str(), O_RDONLY);
        for (ssize_t got; (got = ::read(in, buf.data(), buf.size())) > 0;)
            benchmark::DoNotOptimize(buf.data());
        ::close(in);
    }
}

}  // namespace quil::bench
