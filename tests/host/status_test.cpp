// MStatus text and perror, MString basics, MTime conversions.
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTime.h>
#include <qmfhost/PerrorCapture.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TEST(Status, ErrorStringNamesTheCodeThenTheMessage) {
    // Texts as Maya prints them for these two codes.
    EXPECT_STREQ(MStatus(MStatus::kFailure).errorString().asChar(), "(kFailure): Unexpected Internal Failure");
    EXPECT_STREQ(MStatus(MStatus::kInvalidParameter).errorString().asChar(),
                 "(kInvalidParameter): Object is incompatible with this method");
    EXPECT_STREQ(MStatus().errorString().asChar(), "(kSuccess): No error");
}

TEST(Status, BoolAndErrorAreOpposites) {
    MStatus ok;
    MStatus bad(MStatus::kNotFound);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(ok.error());
    EXPECT_FALSE(bad);
    EXPECT_TRUE(bad.error());
    EXPECT_TRUE(MStatus::kNotFound == bad);
    EXPECT_TRUE(bad != MStatus::kFailure);
    bad.clear();
    EXPECT_EQ(bad, MStatus::kSuccess);
}

TEST(Status, PerrorPrintsCallerTextThenErrorStringOnStderr) {
    testing::internal::CaptureStderr();
    MStatus(MStatus::kFailure).perror("registerNode mRBFNode");
    MStatus(MStatus::kInvalidParameter).perror(MString("joint1"));
    MStatus(MStatus::kFailure).perror("");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "registerNode mRBFNode: (kFailure): Unexpected Internal Failure\n"
              "joint1: (kInvalidParameter): Object is incompatible with this method\n"
              "(kFailure): Unexpected Internal Failure\n");
}

TEST(Status, CaptureRecordsTextCodeAndLineInOrderWithoutPrinting) {
    testing::internal::CaptureStderr();
    std::vector<qmfhost::PerrorLine> lines;
    {
        qmfhost::PerrorCapture capture;
        MStatus(MStatus::kInvalidParameter).perror("Failure creating X rotation curve");
        MStatus().perror(MString("spine"));
        lines = capture.lines();
        EXPECT_EQ(capture.texts(), (std::vector<std::string>{"Failure creating X rotation curve", "spine"}));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].code, MStatus::kInvalidParameter);
    EXPECT_EQ(lines[0].line,
              "Failure creating X rotation curve: (kInvalidParameter): Object is incompatible with this method");
    EXPECT_EQ(lines[1].code, MStatus::kSuccess);
    EXPECT_EQ(lines[1].line, "spine: (kSuccess): No error");
}

TEST(Status, NestedCapturesOnlyTheInnermostRecords) {
    qmfhost::PerrorCapture outer;
    {
        qmfhost::PerrorCapture inner;
        MStatus(MStatus::kFailure).perror("inside");
        EXPECT_EQ(inner.texts(), std::vector<std::string>{"inside"});
    }
    MStatus(MStatus::kFailure).perror("after");
    EXPECT_EQ(outer.texts(), std::vector<std::string>{"after"});
}

TEST(Status, CapturesEndedOutOfOrderLeaveNoDanglingCapture) {
    auto outer = std::make_unique<qmfhost::PerrorCapture>();
    auto inner = std::make_unique<qmfhost::PerrorCapture>();
    outer.reset();   // the outer one ends first
    MStatus(MStatus::kFailure).perror("one");
    inner.reset();
    testing::internal::CaptureStderr();
    MStatus(MStatus::kFailure).perror("two");   // nobody captures now
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "two: (kFailure): Unexpected Internal Failure\n");
}

TEST(Status, EchoingCaptureStillPrints) {
    testing::internal::CaptureStderr();
    {
        qmfhost::PerrorCapture capture(/*echo=*/true);
        MStatus(MStatus::kFailure).perror("seen");
        EXPECT_EQ(capture.lines().size(), 1u);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "seen: (kFailure): Unexpected Internal Failure\n");
}

MStatus checkAndReturn(MStatus s) {
    CHECK_MSTATUS_AND_RETURN_IT(s);
    return MStatus::kNotFound;   // only reached on success
}

TEST(Status, CheckMacrosReportLocationThenPerrorAndReturn) {
    qmfhost::PerrorCapture capture;
    testing::internal::CaptureStderr();
    EXPECT_EQ(checkAndReturn(MStatus::kInvalidParameter), MStatus::kInvalidParameter);
    EXPECT_EQ(checkAndReturn(MStatus::kSuccess), MStatus::kNotFound);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("API error detected in"), std::string::npos);
    EXPECT_NE(err.find("status_test.cpp"), std::string::npos);
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].text, "");
    EXPECT_EQ(capture.lines()[0].code, MStatus::kInvalidParameter);
    EXPECT_EQ(capture.lines()[0].line, "(kInvalidParameter): Object is incompatible with this method");
}

TEST(String, ComparesAndConcatenatesByContent) {
    MString a("abc");
    EXPECT_TRUE(a == "abc");
    EXPECT_TRUE(a != "abd");
    EXPECT_TRUE(a == MString("abcdef", 3));
    EXPECT_EQ(MString(static_cast<const char*>(nullptr)).length(), 0u);
    EXPECT_EQ(MString("x", -1).length(), 0u);
    MString b = "pre" + a + "post";
    b += 7;
    EXPECT_STREQ(b.asChar(), "preabcpost7");
    int length = 0;
    b.asChar(length);
    EXPECT_EQ(length, 11);
    EXPECT_EQ(MString("h\xc3\xa9").numChars(), 2u);   // UTF-8: one two-byte character
    EXPECT_STREQ(MString("abcdef").substring(2, 40).asChar(), "cdef");
}

struct TimeCase {
    double value;
    MTime::Unit from;
    MTime::Unit to;
    double expected;
};

class TimeConversion : public testing::TestWithParam<TimeCase> {};

TEST_P(TimeConversion, ConvertsThroughSeconds) {
    const TimeCase& c = GetParam();
    EXPECT_NEAR(MTime(c.value, c.from).as(c.to), c.expected, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Units, TimeConversion,
    testing::Values(TimeCase{1, MTime::kSeconds, MTime::kFilm, 24}, TimeCase{1, MTime::kSeconds, MTime::kPALFrame, 25},
                    TimeCase{1, MTime::kSeconds, MTime::kNTSCFrame, 30}, TimeCase{1, MTime::kSeconds, MTime::kGames, 15},
                    TimeCase{1, MTime::kSeconds, MTime::kShowScan, 48}, TimeCase{1, MTime::kSeconds, MTime::kPALField, 50},
                    TimeCase{1, MTime::kSeconds, MTime::kNTSCField, 60}, TimeCase{48, MTime::kFilm, MTime::kSeconds, 2},
                    TimeCase{25, MTime::kPALFrame, MTime::kNTSCFrame, 30},
                    TimeCase{1, MTime::kMinutes, MTime::kFilm, 1440}, TimeCase{0.5, MTime::kHours, MTime::kMinutes, 30},
                    TimeCase{250, MTime::kMilliseconds, MTime::kFilm, 6},
                    TimeCase{30000, MTime::k29_97FPS, MTime::kSeconds, 1001}));

TEST(Time, EnumValuesTheDesignRelies) {
    EXPECT_EQ(static_cast<int>(MTime::kSeconds), 3);
    EXPECT_EQ(static_cast<int>(MTime::kFilm), 6);
    EXPECT_EQ(static_cast<int>(MTime::kPALFrame), 7);
    EXPECT_EQ(static_cast<int>(MTime::kNTSCFrame), 8);
    EXPECT_EQ(static_cast<int>(MTime::k6000FPS), 42);
    EXPECT_EQ(static_cast<int>(MTime::kLast), 52);
}

TEST(Time, SetUnitKeepsTheNumberAndComparisonsUseTheInstant) {
    MTime t(12.0, MTime::kFilm);
    t.setUnit(MTime::kSeconds);
    EXPECT_EQ(t.value(), 12.0);
    EXPECT_EQ(t.unit(), MTime::kSeconds);
    EXPECT_TRUE(MTime(24, MTime::kFilm) == MTime(1, MTime::kSeconds));
    EXPECT_TRUE(MTime(1, MTime::kNTSCFrame) < MTime(1, MTime::kFilm));
    EXPECT_TRUE(MTime(1, MTime::kFilm) != MTime(1, MTime::kPALFrame));
    // Units without a length convert to nothing rather than dividing by zero.
    EXPECT_EQ(MTime(5, MTime::kSeconds).as(MTime::kInvalid), 0.0);
    EXPECT_EQ(MTime(5, MTime::kUserDef).as(MTime::kSeconds), 0.0);
    EXPECT_FALSE(MTime(1, MTime::kSeconds).setUnit(MTime::kLast));
}

}  // namespace
