// GoogleTest main for widget tests: one QApplication for all cases, offscreen unless the
// environment names another platform (ctest sets offscreen; test discovery runs without it).
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "framework/framework.h"
#include "res/resource.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    norvane::InitFramework();
    norvane::InitResources();
    norvane::RegisterBitmap(norvane::IDB_START, norvane::BitmapPath(norvane::IDB_START));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
