// The single-instance guard: one holder per folder and process-wide, released when dropped.
#include <gtest/gtest.h>

#include "platform/SingleInstance.h"
#include "support/TempDir.h"

namespace mv32::platform {

TEST(SingleInstance, ASecondInstanceIsRefusedUntilTheFirstEnds) {
    test::TempDir dir;
    {
        SingleInstance first;
        ASSERT_TRUE(first.acquire(dir.path()));
        SingleInstance second;
        EXPECT_FALSE(second.acquire(dir.path()));
    }
    SingleInstance later;
    EXPECT_TRUE(later.acquire(dir.path()));
}

}  // namespace mv32::platform
