#include <QApplication>

#include <gtest/gtest.h>

// GoogleTest entry point with a QApplication, so that tests can create widgets.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
