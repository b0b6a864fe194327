#include "base/cases.hpp"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <variant>

namespace vorlix::base {
namespace {

struct SampleCases {
    struct Name {
        std::string text;
        bool operator==(const Name&) const = default;
    };
    struct Count {
        int n = 0;
        bool operator==(const Count&) const = default;
    };
    struct Empty {
        bool operator==(const Empty&) const = default;
    };
    using Value = std::variant<Name, Count, Empty>;
};

class Sample : public Cases<SampleCases> {
public:
    using Cases::Cases;
    // A type of its own may add a conversion next to the inherited ones.
    Sample(double d) : Cases(Count{static_cast<int>(d)}) {}
};

static_assert(std::is_convertible_v<Sample::Name, Sample>);
static_assert(std::is_convertible_v<Sample::Empty, Sample>);
static_assert(!std::is_constructible_v<Sample, std::string>);  // a payload is no case
static_assert(!std::is_constructible_v<Sample, std::variant<int>>);

TEST(Cases, HoldsTheCaseItWasMadeFrom) {
    const Sample name = Sample::Name{"port"};
    ASSERT_NE(name.get_if<Sample::Name>(), nullptr);
    EXPECT_EQ(name.get_if<Sample::Name>()->text, "port");
    EXPECT_EQ(name.get_if<Sample::Count>(), nullptr);
    EXPECT_EQ(name.value().index(), 0u);

    const Sample count = 2.5;
    ASSERT_NE(count.get_if<Sample::Count>(), nullptr);
    EXPECT_EQ(count.get_if<Sample::Count>()->n, 2);
    EXPECT_EQ(count.get_if<Sample::Name>(), nullptr);

    Sample copy = name;
    copy = Sample::Empty{};
    EXPECT_NE(copy.get_if<Sample::Empty>(), nullptr);
    EXPECT_NE(name.get_if<Sample::Name>(), nullptr);
}

TEST(Cases, EqualWhenTheyHoldEqualCases) {
    struct Pair {
        Sample a;
        Sample b;
        bool equal;
    };
    const Pair pairs[] = {
        {Sample::Name{"a"}, Sample::Name{"a"}, true}, {Sample::Name{"a"}, Sample::Name{"b"}, false},
        {Sample::Count{0}, Sample::Empty{}, false},   {Sample::Count{3}, Sample::Count{3}, true},
        {Sample::Count{3}, Sample::Count{4}, false},  {Sample::Empty{}, Sample::Empty{}, true},
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(p.a == p.b, p.equal) << p.a.value().index() << " " << p.b.value().index();
        EXPECT_EQ(p.b == p.a, p.equal);
        EXPECT_EQ(p.a != p.b, !p.equal);
    }
    EXPECT_TRUE(Sample(Sample::Count{1}) == Sample::Count{1});  // the case converts for the comparison
}

}  // namespace
}  // namespace vorlix::base
