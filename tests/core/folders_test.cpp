#include <gtest/gtest.h>

#include "launcher/folders.h"

TEST(PathJoin, Cases) {
    EXPECT_EQ(path_join(L"", L"b"), L"b");
    EXPECT_EQ(path_join(L"C:\\a", L"b"), L"C:\\a\\b");
}
