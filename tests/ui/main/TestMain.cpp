// One application object for every window test, the program's own (so the exception
// report is the real one), offscreen. The tests get a temporary folder of their own, so
// the single-instance lock they take never meets a copy of the program the user runs. The
// windows of libquil_tools.so are linked in.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "TempDir.h"
#include "app/MakeToolWindow.h"
#include "ui/main/QuilApplication.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const quil::testing::TempDir tmp;
    setenv("TMPDIR", tmp.path().c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
    int result = 0;
    {
        quil::ui::QuilApplication app(argc, argv);
        // Work the windows hand to a worker runs at once, unless a case asks for the thread.
        app.setProperty("quilWorkInline", true);
        quil::ui::setToolWindowMakerForTesting(&quil::ui::makeToolWindow);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
