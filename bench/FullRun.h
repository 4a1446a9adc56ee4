#pragma once
// `--full` asks a benchmark for its goal's size instead of the test command's smoke run.
// Taken out of the arguments here, so that Google Benchmark sees only its own.

#include <cstring>

namespace quil::bench {

// Whether `--full` was given; removes it from argc/argv.
inline bool takeFullRun(int& argc, char** argv) {
    bool full = false;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--full") == 0)
            full = true;
        else
            argv[kept++] = argv[i];
    }
    argv[kept] = nullptr;
    argc = kept;
    return full;
}

}  // namespace quil::bench
