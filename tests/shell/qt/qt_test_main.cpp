#include <gtest/gtest.h>

#include <QApplication>

// Runs the tests inside one QApplication. Listing the tests needs no application, so test
// discovery works without a display.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
