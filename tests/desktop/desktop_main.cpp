// GoogleTest main for the desktop tier: the tests run on a private Xvfb display with openbox
// managing the windows, so they have real frames, a screen that can be read and an X clipboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>

#include "framework/framework.h"
#include "res/resource.h"
#include "x_session.h"

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
        norvane::InitResources();
        norvane::RegisterBitmap(norvane::IDB_START, norvane::BitmapPath(norvane::IDB_START));
        result = RUN_ALL_TESTS();
    }
    session.Stop();
    return result;
}
