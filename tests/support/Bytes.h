#pragma once
// Whole files as bytes: what a test compares against the layouts it writes by hand.

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace quil::testing {

inline std::optional<std::string> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The same, "" for a missing file.
inline std::string fileBytes(const std::string& path) { return readBytes(path).value_or(""); }

inline void writeBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace quil::testing
