#include <gtest/gtest.h>
#include "SplitMergeFile.h"
TEST(Placeholder, Naming) { EXPECT_EQ(SplitMergeFile::RebuiltName("a.splt"), "a"); }
