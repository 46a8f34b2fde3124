#include "qmfhost/MaParser.h"

#include <gtest/gtest.h>

#include <string>

using namespace qmfhost::ma;

namespace {

// The chunks' texts are views into text, gone with it: only their arguments
// and lines are looked at.
std::vector<Chunk> statements(const std::string& text) {
    std::vector<Chunk> out;
    for (auto& c : parseChunks(text))
        if (c.kind == Chunk::Kind::Statement) out.push_back(std::move(c));
    return out;
}

std::string joined(const std::vector<Chunk>& chunks) {
    std::string s;
    for (const auto& c : chunks) s += c.text;
    return s;
}

}  // namespace

TEST(MaParser, ChunksGiveBackEveryByte) {
    const std::string texts[] = {
        "//Maya ASCII 2018 scene\nrequires maya \"2018\";\n",
        "//Maya\ncreateNode joint -n \"a\";\n\tsetAttr \".t\" -type \"double3\" 1 2 3 ;\n// End of x.ma\n",
        "//Maya\r\nfileInfo \"a\" \"b\";\r\n  \n",
        "//Maya\nsetAttr \".x\" 1; setAttr \".y\" 2;  // trailing\nconnectAttr \"a.o\" \"b.i\"\n\t\t;",
        "//Maya\n/* block\n comment */ select -ne :time1;\n",
    };
    for (const auto& t : texts) EXPECT_EQ(joined(parseChunks(t)), t) << t;
}

TEST(MaParser, SplitsOnlyOnSemicolonsOutsideStrings) {
    auto st = statements(
        "//Maya\n"
        "setAttr \".b\" -type \"string\" \"a; b \\\"q;\\\" \\n c\";\n"
        "connectAttr \"x.o\" \"y.i\"\n\t\t;\n");
    ASSERT_EQ(st.size(), 2u);
    ASSERT_EQ(st[0].args.size(), 5u);
    EXPECT_EQ(st[0].args[4].text, "a; b \"q;\" \n c");
    EXPECT_TRUE(st[0].args[4].quoted);
    EXPECT_EQ(st[1].command(), "connectAttr");
    EXPECT_EQ(st[1].line, 3);
    EXPECT_EQ(st[1].args[2].text, "y.i");
}

TEST(MaParser, JoinsParenthesisedStringConcatenation) {
    auto st = statements("//Maya\nsetAttr \".b\" -type \"string\" (\n\t\t\"abc;\"\n\t\t+ \"def\" + \"\\\"g\\\"\");\n");
    ASSERT_EQ(st.size(), 1u);
    EXPECT_EQ(st[0].args.back().text, "abc;def\"g\"");
    EXPECT_TRUE(st[0].args.back().quoted);
}

TEST(MaParser, LineNumbersAndIndentation) {
    auto st = statements("//Maya ASCII\n// c\ncreateNode joint -n \"a\";\n\tsetAttr -l on \".jo\";\n\n"
                         "setAttr -s 2 \".ktv[0:1]\"\n   0 1\n   2 3;\nparent -s -nc -r -add \"|a|b\" \"c\";\n");
    ASSERT_EQ(st.size(), 4u);
    EXPECT_EQ(st[0].line, 3);
    EXPECT_TRUE(st[0].topLevel);
    EXPECT_EQ(st[1].line, 4);
    EXPECT_FALSE(st[1].topLevel);
    EXPECT_EQ(st[2].line, 6);
    EXPECT_EQ(st[2].args.size(), 8u);
    EXPECT_EQ(st[3].line, 9);
    EXPECT_TRUE(st[3].args[4].isFlag());
}

TEST(MaParser, ArgumentKinds) {
    struct Case {
        const char* text;
        bool quoted;
        bool flag;
        std::optional<double> number;
    };
    const Case cases[] = {
        {"-l", false, true, std::nullopt},
        {"-3.5", false, false, -3.5},
        {"4.0345661506751236e-016", false, false, 4.0345661506751236e-16},
        {"yes", false, false, 1.0},
        {"off", false, false, 0.0},
        {"\"12\"", true, false, std::nullopt},
        {"1e999", false, false, std::nullopt},  // not finite: refused as a value
    };
    for (const auto& c : cases) {
        auto st = statements(std::string("//Maya\nx ") + c.text + ";\n");
        ASSERT_EQ(st.size(), 1u) << c.text;
        const Arg& a = st[0].args.at(1);
        EXPECT_EQ(a.quoted, c.quoted) << c.text;
        EXPECT_EQ(a.isFlag(), c.flag) << c.text;
        EXPECT_EQ(a.number(), c.number) << c.text;
    }
}

TEST(MaParser, MalformedInputFailsWithTheLine) {
    struct Case {
        const char* text;
        int line;
        const char* words;
    };
    const Case cases[] = {
        {"//Maya\nsetAttr \".b\" \"open;\n\n", 2, "unterminated string"},
        {"//Maya\nrequires maya \"1\";\ncreateNode joint -n \"a\"\n", 3, "no closing ';'"},
        {"//Maya\nsetAttr \".b\" (\"a\" + \"b\";\n", 2, "parenthesis"},
        {"//Maya\n/* never closed\n", 2, "comment"},
    };
    for (const auto& c : cases) {
        try {
            parseChunks(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const ParseError& e) {
            EXPECT_EQ(e.line(), c.line) << c.text;
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
        }
    }
}

TEST(MaParser, NulByteIsRefusedWithItsLine) {
    std::string text("//Maya\nx;\ny \0;\n", 15);
    try {
        parseChunks(text);
        FAIL() << "accepted a NUL byte";
    } catch (const ParseError& e) {
        EXPECT_EQ(e.line(), 3);
    }
}

TEST(MaParser, LimitsAreEnforced) {
    Limits small;
    small.maxStatementBytes = 64;
    small.maxArgsPerStatement = 4;
    EXPECT_THROW(parseChunks("//Maya\nsetAttr \".a\" 1 2 3 4 5;\n", small), ParseError);
    EXPECT_THROW(parseChunks("//Maya\nsetAttr \".a\" \"" + std::string(100, 'x') + "\";\n", small), ParseError);
    small.maxFileBytes = 10;
    EXPECT_THROW(parseChunks("//Maya ASCII scene\n", small), ParseError);
}

TEST(MaParser, HeaderCheck) {
    EXPECT_NO_THROW(checkHeader("//Maya ASCII 2020 scene\n"));
    for (const char* bad : {"FOR4\0\0\0\x10", "FOR8", "", "//May", "// Maya", "requires maya \"1\";"}) {
        try {
            checkHeader(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const ParseError& e) {
            std::string what = e.what();
            bool binary = std::string(bad).rfind("FOR", 0) == 0;
            EXPECT_NE(what.find(binary ? "binary" : "not a Maya ASCII"), std::string::npos) << what;
        }
    }
}

TEST(MaParser, QuoteRoundTrips) {
    for (std::string s : {"plain", "a\"b", "back\\slash", "multi\nline\ttab", ""}) {
        auto st = statements("//Maya\nx " + quote(s) + ";\n");
        ASSERT_EQ(st.size(), 1u);
        EXPECT_EQ(st[0].args[1].text, s);
    }
}
