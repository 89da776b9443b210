#include "common/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace korva {
namespace {

Result<int> Number(int n) {
    if (n < 0) {
        return MakeError("negative", ErrorKind::LimitExceeded);
    }
    return n;
}

Result<void> Check(int n) {
    KORVA_RETURN_IF_ERROR(Number(n));
    return {};
}

Result<std::unique_ptr<int>> Boxed(int n) {
    KORVA_ASSIGN_OR_RETURN(const int value, Number(n));
    return std::make_unique<int>(value);
}

// Each step passes its failure on unchanged; a value that cannot be copied
// is moved out, into a new variable or an existing one.
Result<std::string> Sum(int a, int b, std::vector<std::string>& steps) {
    KORVA_ASSIGN_OR_RETURN(const std::unique_ptr<int> x, Boxed(a));
    steps.emplace_back("a");
    KORVA_RETURN_IF_ERROR(Check(b));
    steps.emplace_back("b");
    std::unique_ptr<int> y;
    KORVA_ASSIGN_OR_RETURN(y, Boxed(b));
    return std::to_string(*x + *y);
}

TEST(Result, PropagationStopsAtTheFirstFailureAndKeepsItsKind) {
    struct Case {
        int a;
        int b;
        bool ok;
        std::vector<std::string> steps;
    };
    const std::vector<Case> cases = {
        {1, 2, true, {"a", "b"}},
        {-1, 2, false, {}},
        {1, -2, false, {"a"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> steps;
        const Result<std::string> sum = Sum(c.a, c.b, steps);
        EXPECT_EQ(sum.ok(), c.ok) << c.a << " " << c.b;
        EXPECT_EQ(steps, c.steps) << c.a << " " << c.b;
        if (sum) {
            EXPECT_EQ(*sum, std::to_string(c.a + c.b));
        } else {
            EXPECT_EQ(sum.error().message, "negative");
            EXPECT_EQ(sum.error().kind, ErrorKind::LimitExceeded);
        }
    }
}

TEST(Result, ContextKeepsTheKind) {
    const Error inner = MakeError("gone", ErrorKind::NoSuchFile);
    const Error outer = WithContext("app.exe", inner);
    EXPECT_EQ(outer.message, "app.exe: gone");
    EXPECT_EQ(outer.kind, ErrorKind::NoSuchFile);
    EXPECT_EQ(MakeError("x").kind, ErrorKind::Other);
}

} // namespace
} // namespace korva
