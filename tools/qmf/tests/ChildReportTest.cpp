// What a batch reports of a child from the start of its stderr.
#include "BatchChild.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST(BatchChildReport, TheReasonIsTheFirstErrorLineNotAWarning) {
    const struct {
        const char* err;
        const char* reason;
    } cases[] = {
        {"qmf: walk.bvh: line 3: unknown channel 'Xrot'\n", "walk.bvh: line 3: unknown channel 'Xrot'"},
        // Warnings come first when the failure is found later.
        {"qmf: warning: Frames: declares 3 frames\nqmf: cannot write out.qmf: No space left on device\n",
         "cannot write out.qmf: No space left on device"},
        // The translator's own messages come before the tool's line.
        {"Failure saving Movantis file\nqmf: export failed: the translator could not write a.qmf\n",
         "export failed: the translator could not write a.qmf"},
        {"Failure saving Movantis file\n", "Failure saving Movantis file"},
        {"\n\nsomething odd", "something odd"},
        {"qmf: warning: only a warning\n", "warning: only a warning"},
        {"", ""},
        // Cut off where the batch stopped keeping it.
        {"qmf: a long line with no end", "a long line with no end"},
    };
    for (const auto& c : cases) EXPECT_EQ(qmf::reasonFrom(c.err), c.reason) << c.err;
}

TEST(BatchChildReport, TheWarningIsTheFirstWarningLine) {
    EXPECT_EQ(qmf::firstWarning("Failure x\nqmf: warning: a\nqmf: warning: b\n"), "warning: a");
    EXPECT_EQ(qmf::firstWarning("qmf: converted\nqmf:warning: no\n"), "");
}

TEST(BatchChildReport, ALineCutWhereTheBatchStoppedKeepingItEndsAtAWholeItem) {
    const struct {
        const char* kept;
        const char* shown;
    } cases[] = {
        {"qmf: warning: 3 names changed: a -> a, b:c -> b_c, d-e -> d_", "qmf: warning: 3 names changed: a -> a, b:c -> b_c …"},
        {"qmf: done\n", "qmf: done\n"},
        // No list on the cut line: a whole character, never half of one.
        {"qmf: done\nqmf: warning: caf\xC3", "qmf: done\nqmf: warning: caf …"},
        {"qmf: done\nqmf: warning: ab, cd\nqmf: x y", "qmf: done\nqmf: warning: ab, cd\nqmf: x y …"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(qmf::endCutLine(c.kept), c.shown) << c.kept;
}

TEST(BatchChildReport, SignalsAreNamed) {
    EXPECT_STREQ(qmf::signalName(SIGSEGV), "SIGSEGV");
    EXPECT_STREQ(qmf::signalName(SIGKILL), "SIGKILL");
    EXPECT_STREQ(qmf::signalName(SIGRTMIN + 3), "unknown signal");
}

}  // namespace
