#pragma once
// The program's icons as pixels, made from the PNG files in icons/ when the program is built.

#include <cstdint>

namespace quil::ui {

struct ProgramIconImage {
    const char* name;  // the PNG file's name without ".png"
    int width;
    int height;
    const std::uint32_t* pixels;  // premultiplied ARGB, row after row from the top
};

extern const ProgramIconImage kProgramIconImages[];
extern const int kProgramIconImageCount;

}  // namespace quil::ui
