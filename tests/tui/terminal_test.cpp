#include "tui/terminal.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tui/backend/test_backend.hpp"
#include "tui/buffer_assert.hpp"
#include "tui/widgets/paragraph.hpp"

namespace vorlix::tui {
namespace {

using testing_support::buffer_with_lines;
using testing_support::buffers_equal;

auto text(std::string s) {
    return [s = std::move(s)](Frame& f) { f.render_widget(Paragraph(Text(s)), f.area()); };
}

TEST(Terminal, SendsOnlyTheCellsThatChanged) {
    TestBackend backend({4, 2});
    auto terminal = Terminal::create(backend);
    ASSERT_TRUE(terminal);

    ASSERT_TRUE(terminal->draw(text("ab\ncd")));
    EXPECT_EQ(backend.last_updates().size(), 4u);  // blanks were already there
    EXPECT_TRUE(buffers_equal(backend.screen(), buffer_with_lines({"ab  ", "cd  "})));

    ASSERT_TRUE(terminal->draw(text("ab\ncd")));
    EXPECT_TRUE(backend.last_updates().empty());

    ASSERT_TRUE(terminal->draw(text("ab\nc中")));
    ASSERT_EQ(backend.last_updates().size(), 1u);
    EXPECT_EQ(backend.last_updates()[0].x, 1);
    EXPECT_EQ(backend.last_updates()[0].y, 1);
    EXPECT_TRUE(buffers_equal(backend.screen(), buffer_with_lines({"ab  ", "c中 "})));
    EXPECT_TRUE(buffers_equal(terminal->last_frame(), backend.screen()));

    ASSERT_TRUE(terminal->draw(text("")));
    EXPECT_EQ(backend.last_updates().size(), 5u);  // the covered cell is a cell again
    EXPECT_TRUE(buffers_equal(backend.screen(), buffer_with_lines({"    ", "    "})));
    EXPECT_EQ(backend.flushes(), 4u);
}

TEST(Terminal, AFrameWithoutCursorHidesIt) {
    TestBackend backend({4, 2});
    auto terminal = Terminal::create(backend);
    ASSERT_TRUE(terminal);
    EXPECT_FALSE(terminal->cursor_hidden());

    ASSERT_TRUE(terminal->draw([](Frame&) {}));
    EXPECT_TRUE(terminal->cursor_hidden());
    EXPECT_FALSE(backend.cursor_visible());

    ASSERT_TRUE(terminal->draw([](Frame& f) { f.set_cursor_position({2, 1}); }));
    EXPECT_FALSE(terminal->cursor_hidden());
    EXPECT_TRUE(backend.cursor_visible());
    EXPECT_EQ(backend.cursor_position(), (Position{2, 1}));

    ASSERT_TRUE(terminal->draw([](Frame&) {}));
    ASSERT_TRUE(terminal->show_cursor());
    EXPECT_FALSE(terminal->cursor_hidden());
    EXPECT_TRUE(backend.cursor_visible());
}

TEST(Terminal, FollowsASizeChangeWithAFullRedraw) {
    TestBackend backend({4, 1});
    auto terminal = Terminal::create(backend);
    ASSERT_TRUE(terminal);
    ASSERT_TRUE(terminal->draw(text("abcd")));

    backend.resize({6, 2});
    Rect seen;
    ASSERT_TRUE(terminal->draw([&](Frame& f) {
        seen = f.area();
        text("abcdef\nxy")(f);
    }));
    EXPECT_EQ(seen, (Rect{0, 0, 6, 2}));
    EXPECT_EQ(terminal->area(), (Rect{0, 0, 6, 2}));
    EXPECT_EQ(backend.clears(), 1u);
    EXPECT_TRUE(buffers_equal(backend.screen(), buffer_with_lines({"abcdef", "xy    "})));

    backend.resize({0, 0});
    ASSERT_TRUE(terminal->draw(text("abc")));
    EXPECT_TRUE(terminal->area().is_empty());
}

TEST(Terminal, DrawsABufferPreparedElsewhere) {
    TestBackend backend({4, 2});
    auto terminal = Terminal::create(backend);
    ASSERT_TRUE(terminal);
    Buffer frame = buffer_with_lines({"ab中", "cdef"});
    frame.set_style(Rect{0, 0, 1, 1}, Style().fg(Color::Red));
    ASSERT_TRUE(terminal->draw_buffer(frame));
    EXPECT_TRUE(buffers_equal(backend.screen(), frame));

    // After a resize the frame is cut to the screen; a wide grapheme that
    // would hang over the edge becomes a blank.
    backend.resize({3, 1});
    ASSERT_TRUE(terminal->draw_buffer(frame));
    Buffer expected = buffer_with_lines({"ab "});
    expected.set_style(Rect{0, 0, 1, 1}, Style().fg(Color::Red));
    EXPECT_TRUE(buffers_equal(backend.screen(), expected));
}

// A frame that keeps the one on screen sends nothing, not even a flush; only
// the frame on screen, unchanged since, can be kept.
TEST(Terminal, KeepsOnlyTheFrameStillOnScreen) {
    const base::IoError broken = base::IoError::from_errno(5);
    struct Case {
        const char* between;
        std::function<void(Terminal&, TestBackend&, std::uint64_t shown)> act;
        bool kept;
    };
    const Case cases[] = {
        {"nothing", [](Terminal&, TestBackend&, std::uint64_t) {}, true},
        {"a kept frame",
         [](Terminal& t, TestBackend&, std::uint64_t shown) {
             ASSERT_TRUE(t.draw([&](Frame& f) { ASSERT_TRUE(f.keep_previous(shown)); }));
         },
         true},
        {"a clear", [](Terminal& t, TestBackend&, std::uint64_t) { ASSERT_TRUE(t.clear()); }, false},
        {"a resize",
         [](Terminal&, TestBackend& b, std::uint64_t) {
             b.resize({4, 3});
         },
         false},
        {"another frame", [](Terminal& t, TestBackend&, std::uint64_t) { ASSERT_TRUE(t.draw(text("cd"))); },
         false},
        {"a failed flush",
         [&](Terminal& t, TestBackend& b, std::uint64_t) {
             b.fail_next(broken, 2);
             ASSERT_FALSE(t.draw(text("ab")));
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.between);
        TestBackend backend({4, 2});
        auto terminal = Terminal::create(backend);
        ASSERT_TRUE(terminal);
        std::uint64_t shown = 0;
        ASSERT_TRUE(terminal->draw([&](Frame& f) {
            shown = f.id();
            text("ab")(f);
        }));
        c.act(*terminal, backend, shown);
        const std::size_t flushes = backend.flushes();
        const Buffer before = backend.screen();

        bool kept = true;
        ASSERT_TRUE(terminal->draw([&](Frame& f) { kept = f.keep_previous(shown); }));
        EXPECT_EQ(kept, c.kept);
        EXPECT_EQ(backend.flushes(), flushes + (c.kept ? 0 : 1));
        if (c.kept) {
            EXPECT_TRUE(buffers_equal(backend.screen(), before));
            EXPECT_TRUE(buffers_equal(terminal->last_frame(), buffer_with_lines({"ab  ", "    "})));
        } else {
            // Refused, the frame is drawn as the renderer left it: blank.
            EXPECT_TRUE(buffers_equal(backend.screen(), Buffer::empty(backend.screen().area())));
        }
        bool none = true;
        ASSERT_TRUE(terminal->draw([&](Frame& f) { none = f.keep_previous(0); }));
        EXPECT_FALSE(none);
    }

    // Numbers are never shared between terminal objects: another one's
    // first frame is not this one's.
    TestBackend backend({4, 2});
    auto first = Terminal::create(backend);
    auto second = Terminal::create(backend);
    ASSERT_TRUE(first && second);
    std::uint64_t shown = 0;
    ASSERT_TRUE(first->draw([&](Frame& f) { shown = f.id(); }));
    ASSERT_TRUE(second->draw(text("ab")));
    bool kept = true;
    ASSERT_TRUE(second->draw([&](Frame& f) { kept = f.keep_previous(shown); }));
    EXPECT_FALSE(kept);
}

TEST(Terminal, BackendFailuresEndTheFrameAndTheNextOneResends) {
    const base::IoError broken = base::IoError::from_errno(5);
    // A frame calls the backend to draw, to hide the cursor, then to flush.
    for (std::size_t failing_call = 0; failing_call < 3; ++failing_call) {
        TestBackend backend({3, 1});
        auto terminal = Terminal::create(backend);
        ASSERT_TRUE(terminal);
        backend.fail_next(broken, failing_call);
        const IoResult<> failed = terminal->draw(text("xyz"));
        ASSERT_FALSE(failed) << failing_call;
        EXPECT_EQ(failed.error(), broken);

        ASSERT_TRUE(terminal->draw(text("xyz"))) << failing_call;
        EXPECT_TRUE(buffers_equal(backend.screen(), buffer_with_lines({"xyz"}))) << failing_call;
    }
}

}  // namespace
}  // namespace vorlix::tui
