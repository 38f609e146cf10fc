#include <capturekit/platform/application_info.hpp>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Before any configuration is read: a test host may use either environment.
    capturekit::application::markRunningUnderTestRunner();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
