#include <gtest/gtest.h>

#include "app/framework.h"

// Configuration text only ever fills placeholders: a %n or %s inside a value stays literal.
TEST(FormatText, FillsPlaceholdersInOrderAndKeepsArgumentsLiteral) {
    EXPECT_EQ(app::FormatText("%s Firmware Update Tool", {"M100"}), "M100 Firmware Update Tool");
    EXPECT_EQ(app::FormatText("%s Firmware Update Tool", {""}), " Firmware Update Tool");
    EXPECT_EQ(app::FormatText("a %s b %s c %s", {"1", "2", "3"}), "a 1 b 2 c 3");
    EXPECT_EQ(app::FormatText("%s", {"%s%n%d"}), "%s%n%d");
    EXPECT_EQ(app::FormatText("%d %%", {}), "%d %");
    EXPECT_EQ(app::FormatText("%s and %s", {"only"}), "only and ");
    EXPECT_EQ(app::FormatText("Transferring", {"name"}), "Transferring");
}
