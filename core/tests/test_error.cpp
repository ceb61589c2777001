// error::Result: reading the side a result does not hold stops a debug build.
// The checks are compiled in here whatever the build type, on a record only
// this file uses, so no other copy of the template stands in for them.
#undef NDEBUG

#include <gtest/gtest.h>

#include <string>

#include "dovrane_core/error.hpp"

namespace {

using dovrane_core::error::ErrorCode;
using dovrane_core::error::make_error;
using dovrane_core::error::Result;

struct Record {
    std::string text;
};

Result<Record> failed() { return make_error("no record here", ErrorCode::GraphqlValidationFailed); }
Result<Record> found() { return Record{"here"}; }

TEST(ResultDeathTest, ValueOfAFailedResultStopsNamingTheError) {
    EXPECT_DEATH(static_cast<void>(failed().value()), "value\\(\\) of a failed result: no record here");
    Result<Record> result = failed();
    EXPECT_DEATH(static_cast<void>(result.value()), "no record here");
    EXPECT_DEATH(static_cast<void>(result->text), "no record here");
    const Result<Record>& constant = result;
    EXPECT_DEATH(static_cast<void>(constant.value()), "no record here");
}

TEST(ResultDeathTest, ErrorOfASuccessfulResultStops) {
    Result<Record> result = found();
    EXPECT_DEATH(static_cast<void>(result.error()), "error\\(\\) of a successful result");
}

TEST(Result, EachSideReadsBack) {
    Result<Record> result = found();
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value().text, "here");
    EXPECT_EQ(result->text, "here");
    Result<Record> failure = failed();
    ASSERT_FALSE(failure);
    EXPECT_EQ(failure.error().message, "no record here");
    EXPECT_EQ(failure.take_error()->code, ErrorCode::GraphqlValidationFailed);
}

}  // namespace
