#include "support/wineclock.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    velmora::testsupport::useTheSystemsTimeZone();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
