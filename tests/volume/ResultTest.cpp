#include <gtest/gtest.h>

#include "volume/Result.h"

namespace keldro {
namespace {

// Every number 0 ... 68 is a result; the MFi write failures no step produces
// still read as a write error, and nothing else is a result.
TEST(Result, NumbersNameResultsWithTheirMessageAndExitStatus) {
    const struct {
        int number;
        std::string_view message;
        int exitStatus;
    } cases[] = {
        {0, "Converted.", 0},
        {1, "Not Converted - Not exist target volume.", 0},
        {29, "Illegal CRC error.", -22},
        {49, "Header size error.", -46},
        {61, "File write error.", -24},
        {63, "File write error.", -24},
        {68, "File write error.", -24},
    };
    for (const auto& c : cases) {
        const std::optional<Result> r = resultOfNumber(c.number);
        ASSERT_TRUE(r) << c.number;
        EXPECT_EQ(resultNumber(*r), c.number);
        EXPECT_EQ(resultMessage(*r), c.message) << c.number;
        EXPECT_EQ(resultExitStatus(*r), c.exitStatus) << c.number;
    }
    EXPECT_FALSE(resultOfNumber(-1));
    EXPECT_FALSE(resultOfNumber(kLastResultNumber + 1));
    EXPECT_TRUE(isSuccess(Result::NotConverted));
    EXPECT_FALSE(ok(Result::NotConverted));
    EXPECT_FALSE(isSuccess(Result::MfiStepFailed));
}

}  // namespace
}  // namespace keldro
