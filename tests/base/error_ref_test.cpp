#include "base/error_ref.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace vorlix::base {
namespace {

// An error type of some layer above, with a cause of its own.
struct Wrapper {
    std::string name;
    std::optional<IoError> io;
    const Wrapper* inner = nullptr;
    std::string display() const { return "wrapper " + name; }
    std::string debug() const { return "Wrapper(" + name + ")"; }
    std::optional<ErrorRef> source() const {
        if (io) return ErrorRef(*io);
        if (inner) return ErrorRef(*inner);
        return std::nullopt;
    }
};

TEST(ErrorRef, WalksAChainOfDifferentTypesToItsEnd) {
    const Wrapper bottom{"bottom", IoError::from_errno(ENOENT), nullptr};
    const Wrapper middle{"middle", std::nullopt, &bottom};
    const Wrapper top{"top", std::nullopt, &middle};
    std::vector<std::string> chain;
    for (std::optional<ErrorRef> cause = ErrorRef(top); cause; cause = cause->source()) {
        chain.push_back(cause->display() + " | " + cause->debug());
    }
    EXPECT_EQ(chain, (std::vector<std::string>{
                         "wrapper top | Wrapper(top)",
                         "wrapper middle | Wrapper(middle)",
                         "wrapper bottom | Wrapper(bottom)",
                         "No such file or directory (os error 2) | " + bottom.io->debug(),
                     }));
}

TEST(ErrorRef, GivesBackTheViewedErrorOnlyAsItsOwnType) {
    const IoError io = IoError::from_errno(EACCES);
    const Wrapper wrapper{"w", std::nullopt, nullptr};
    const ErrorRef of_io(io);
    const ErrorRef of_wrapper(wrapper);
    EXPECT_EQ(of_io.io_error(), &io);
    EXPECT_EQ(of_io.get_if<Wrapper>(), nullptr);
    EXPECT_EQ(of_wrapper.get_if<Wrapper>(), &wrapper);
    EXPECT_EQ(of_wrapper.io_error(), nullptr);
    EXPECT_FALSE(of_io.source().has_value());
}

TEST(ErrorRef, ACapturedCauseKeepsItsTextsInEveryCopy) {
    std::optional<ErrorRef> copy;
    {
        const ErrorRef captured = ErrorRef::captured("shown text", "Debug { form }");
        copy = captured;
    }
    EXPECT_EQ(copy->display(), "shown text");
    EXPECT_EQ(copy->debug(), "Debug { form }");
    EXPECT_FALSE(copy->source().has_value());
    EXPECT_EQ(copy->io_error(), nullptr);
}

}  // namespace
}  // namespace vorlix::base
