#include "app/framework.h"

#include <gtest/gtest.h>

#include "platform/sim/machine.h"

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

namespace {
// A simulated user interface that, like Windows right after a modal dialog ends, reports no
// active window.
class NoActiveWindowUi : public sim::SimUi {
  public:
    using sim::SimUi::SimUi;
    plat::Window GetActiveWindow() override { return {}; }
};
}  // namespace

TEST(AfxMessageBox, FallsBackToTheMainWindowAndAppliesTheIconRule) {
    sim::Machine machine;
    NoActiveWindowUi ui(machine.system);
    plat::Platform platform = plat::Get();
    platform.ui = &ui;
    plat::Install(platform);

    app::ResetFramework();
    app::DisplayName() = "Title";
    app::MainWindow() = plat::Window{42};
    app::AfxMessageBox("ok box", win::MB_OK);
    app::AfxMessageBox("question", win::MB_YESNO);
    app::AfxMessageBox("error", win::MB_OK | win::MB_ICONERROR);
    app::MainWindow() = plat::Window{};
    app::AfxMessageBox("no owner at all", win::MB_OKCANCEL);

    auto boxes = ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].owner, plat::Window{42});
    EXPECT_EQ(boxes[0].caption, "Title");
    EXPECT_EQ(boxes[0].type, win::MB_OK | win::MB_ICONEXCLAMATION);
    EXPECT_EQ(boxes[1].type, win::MB_YESNO | win::MB_ICONQUESTION);
    EXPECT_EQ(boxes[2].type, win::MB_OK | win::MB_ICONERROR);
    EXPECT_FALSE(boxes[3].owner);
    EXPECT_EQ(boxes[3].type, win::MB_OKCANCEL | win::MB_ICONEXCLAMATION);

    platform.ui = &machine.ui;
    plat::Install(platform);
    app::ResetFramework();
}
