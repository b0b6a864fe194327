// A live capture in a real terminal against the simulated instrument: the
// trace keys, a save on request, and the stop that saves once more before
// the program ends.

#include "e2e/e2e_fixture.hpp"

namespace vorlix::e2e {
namespace {

class LiveTest : public E2eTest {};

TEST_F(LiveTest, TracesSaveAndStop) {
    start_sim();
    write_config();
    auto run = launch({"--live"});
    ASSERT_TRUE(run->wait_for("COM Ports")) << run->screen();
    run->keys({"Enter"});
    ASSERT_TRUE(run->wait_for("Points")) << run->screen();
    run->keys({"Right", "Right"});
    run->type("1001");
    run->keys({"Enter"});
    ASSERT_TRUE(run->wait_for("│1001 ")) << run->screen();
    run->keys({"Enter"});

    ASSERT_TRUE(run->wait_for("average 4 — Live capture — ")) << run->screen();
    EXPECT_TRUE(
        run->wait_for("1–6 trace · zoom +/= / - · pan ←/→ · 0 reset · m peak · s save · q stop+save"));
    EXPECT_TRUE(run->wait_for("Frequency (MHz)"));
    run->type("3");
    EXPECT_TRUE(run->wait_for("max hold — ")) << run->screen();
    run->type("6");
    EXPECT_TRUE(run->wait_for("min decay — ")) << run->screen();

    run->type("s");
    ASSERT_TRUE(wait_until([&] { return csv_files(dir.path()).size() == 1; }, test::PATIENCE))
        << run->screen();
    run->type("q");
    expect_restored_exit(*run);
    EXPECT_EQ(run->stderr_text(), "");

    const std::vector<fs::path> files = csv_files(dir.path());
    ASSERT_EQ(files.size(), 2u);
    for (const fs::path& f : files) EXPECT_EQ(lines_of(slurp(f)).size(), 1001u) << f;
    const std::vector<std::string> sent = server->commands();
    EXPECT_EQ(sent.back(), "resume");
}

}  // namespace
}  // namespace vorlix::e2e
