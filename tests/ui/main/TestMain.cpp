// One application object for every window test, the program's own (so the exception
// report is the real one), offscreen.
#include <gtest/gtest.h>

#include "ui/main/QuilApplication.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    quil::ui::QuilApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
