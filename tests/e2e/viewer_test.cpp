// The viewer on a stored scan in a real terminal: the status line, zoom,
// pan, the peak marker, and the way out.

#include "e2e/e2e_fixture.hpp"

namespace vorlix::e2e {
namespace {

// Eleven points, 100 to 110 MHz, one clear peak at 105 MHz.
constexpr std::string_view SCAN =
    "frequency_MHz,level_dBm\n100,-80\n101,-80\n102,-81\n103,-80\n104,-79\n105,-20.5\n106,-80\n"
    "107,-80\n108,-80\n109,-82\n110,-80\n";

class ViewerTest : public E2eTest {};

TEST_F(ViewerTest, StatusZoomPanPeakAndQuit) {
    struct Case {
        std::vector<std::string> args;
        std::string file;
    };
    const std::vector<Case> cases = {{{"scan.csv"}, "scan.csv"}, {{"--view", "-dash.csv"}, "-dash.csv"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        write_text(dir.path() / c.file, SCAN);
        auto run = launch(c.args);
        ASSERT_TRUE(run->wait_for(c.file + " — 11 points — visible 100.00 to 110.00 MHz")) << run->screen();
        EXPECT_TRUE(run->alternate_screen());
        EXPECT_TRUE(run->wait_for("zoom +|= / -; pan left|h / right|l; reset 0|home; m peak; q exits"));

        run->type("+");
        EXPECT_TRUE(run->wait_for("visible 102.50 to 107.50 MHz")) << run->screen();
        run->keys({"Left"});
        EXPECT_TRUE(run->wait_for("visible 101.25 to 106.25 MHz")) << run->screen();
        run->type("m");
        EXPECT_TRUE(run->wait_for("Visible peak")) << run->screen();
        EXPECT_TRUE(run->wait_for("-20.50 dBm"));
        EXPECT_TRUE(run->wait_for("105.00 MHz"));
        // "r" and "n" are only plot keys here, and unbound.
        run->type("rn0");
        EXPECT_TRUE(run->wait_for("visible 100.00 to 110.00 MHz")) << run->screen();

        run->type("q");
        expect_restored_exit(*run);
        EXPECT_EQ(run->stderr_text(), "");
    }
}

}  // namespace
}  // namespace vorlix::e2e
