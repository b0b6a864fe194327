// The menus in a real terminal (tmux) without colours, where attributes
// alone must show which list and which editor are active, and Esc typed
// together with the key after it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/e2e_fixture.hpp"

namespace vorlix::e2e {
namespace {

class MenuLookTest : public E2eTest {
protected:
    void SetUp() override {
        start_sim();
        write_config();
    }

    std::unique_ptr<TmuxRun> launch_on(std::string term) {
        RunOptions options;
        options.env = {"TERM=" + std::move(term)};
        return launch_with(std::move(options));
    }

    // After `keys`, the screen shows the same text with other attributes.
    static bool restyled_by(TmuxRun& run, const std::vector<std::string>& keys) {
        const std::string text = run.screen();
        const std::string before = run.styled_screen();
        run.keys(keys);
        if (!wait_until([&] { return run.styled_screen() != before; }, test::PATIENCE)) return false;
        EXPECT_EQ(run.screen(), text);
        return true;
    }
    // The screen looks again exactly as it did.
    static bool back_to(TmuxRun& run, const std::string& styled) {
        return wait_until([&] { return run.styled_screen() == styled; }, test::PATIENCE);
    }
};

TEST_F(MenuLookTest, WithoutColoursMovingBetweenListsAndEditorsChangesTheScreen) {
    auto run = launch_on("vt100");
    // The help line is drawn last: the frame is whole.
    ASSERT_TRUE(run->wait_for("Use ↓↑ to move")) << run->screen();
    const std::string ports_active = run->styled_screen();
    EXPECT_TRUE(restyled_by(*run, {"l"})) << "the baud list looks as the port list did";
    EXPECT_TRUE(restyled_by(*run, {"h"}));
    EXPECT_TRUE(back_to(*run, ports_active));

    run->keys({"Enter"});
    ASSERT_TRUE(run->wait_for("Use ↓↑ to change")) << run->screen();
    const std::string start_active = run->styled_screen();
    EXPECT_TRUE(restyled_by(*run, {"Right"})) << "the stop editor looks as the start editor did";
    EXPECT_TRUE(restyled_by(*run, {"Right"})) << "the points editor looks as the stop editor did";
    EXPECT_NE(run->styled_screen(), start_active);
    EXPECT_TRUE(restyled_by(*run, {"Left"}));
    EXPECT_TRUE(restyled_by(*run, {"Left"}));
    EXPECT_TRUE(back_to(*run, start_active));
    run->keys({"Escape"});
    expect_restored_exit(*run);
}

// The column, in characters, where `text` starts on the screen line that
// holds it; nothing when no line does.
std::optional<std::size_t> column_of(const std::string& screen, std::string_view text) {
    for (const std::string& line : lines_of(screen)) {
        const std::size_t at = line.find(text);
        if (at == std::string::npos) continue;
        std::size_t column = 0;
        for (std::size_t i = 0; i < at; ++i) {
            if ((static_cast<unsigned char>(line[i]) & 0xc0) != 0x80) ++column;
        }
        return column;
    }
    return std::nullopt;
}

TEST_F(MenuLookTest, EscAndTheNextKeyInOneWriteAreBothHandled) {
    auto run = launch_on("xterm-256color");
    ASSERT_TRUE(run->wait_for("COM Ports")) << run->screen();
    run->keys({"Enter"});
    ASSERT_TRUE(run->wait_for("Start Frequency")) << run->screen();
    run->type("5");
    ASSERT_TRUE(run->wait_for("5_")) << run->screen();
    // Esc cancels the typing, Right moves on to the stop editor.
    run->keys({"Escape", "Right"});
    run->type("7");
    ASSERT_TRUE(run->wait_for("7_")) << run->screen();
    const std::string screen = run->screen();
    const std::optional<std::size_t> typed = column_of(screen, "7_");
    const std::optional<std::size_t> stop = column_of(screen, "Stop Frequency");
    const std::optional<std::size_t> points = column_of(screen, "Points");
    ASSERT_TRUE(typed && stop && points) << screen;
    EXPECT_GE(*typed, *stop) << screen;
    EXPECT_LT(*typed, *points) << screen;
    EXPECT_EQ(screen.find("5_"), std::string::npos) << screen;
    run->keys({"Escape"});
    run->keys({"Escape"});
    expect_restored_exit(*run);
}

}  // namespace
}  // namespace vorlix::e2e
