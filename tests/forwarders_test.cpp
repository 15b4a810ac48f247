#include <gtest/gtest.h>

#include "quorbelt_module.h"

TEST(Forwarders, LibraryLoads) { EXPECT_NE(quorbeltModule(), nullptr); }
