// GoogleTest main for the desktop tier: the tests run on a private Xvfb display with openbox
// managing the windows, so they have real frames, a screen that can be read and an X clipboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>

#include "framework/framework.h"
#include "x_session.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NORVANE_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define NORVANE_ASAN 1
#endif

#ifdef NORVANE_ASAN
// Allocations that the platform libraries keep until exit, listed in a file.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" NORVANE_SOURCE_DIR "/tests/desktop/lsan.supp:print_suppressions=0";
}
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();  // test discovery: no display needed
    }
    norvane::test::XSession session;
    std::string error;
    if (!session.Start(error)) {
        std::fprintf(stderr, "desktop tests: %s\n", error.c_str());
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QStandardPaths::setTestModeEnabled(true);
    int result = 0;
    {
        QApplication app(argc, argv);
        norvane::InitFramework();
        result = RUN_ALL_TESTS();
    }
    session.Stop();
    return result;
}
