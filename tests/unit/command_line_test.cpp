#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/argv.h"

namespace {

std::string Positional(const CommandLine& line, uint32_t index) {
    const char* text = line.GetPositional(index);
    return text != nullptr ? text : "<null>";
}

TEST(CommandLine, SwitchesAndPositionalsAreIndexedSeparately) {
    Argv args{"-q", "dump", "/D", "both", "-x:1", "a.log"};
    const CommandLine line(args.argc(), args.argv());
    ASSERT_EQ(line.positionalCount, 3u);
    EXPECT_EQ(Positional(line, 0), "DUMP");
    EXPECT_EQ(Positional(line, 1), "BOTH");
    EXPECT_EQ(Positional(line, 2), "A.LOG");
    EXPECT_EQ(Positional(line, 3), "<null>");
    ASSERT_EQ(line.switchCount, 3u);
    EXPECT_EQ(line.switches[0].letter, 'Q');
    EXPECT_EQ(line.switches[1].letter, 'D');
    EXPECT_EQ(line.switches[2].letter, 'X');
    EXPECT_STREQ(line.switches[2].value, "1");
}

TEST(CommandLine, UpperCasesEveryArgumentInPlaceButOnlyAsciiLetters) {
    Argv args{"list", "MiXeD.log", "\xE9t\xE9", "-d:abc"};
    const CommandLine line(args.argc(), args.argv());
    EXPECT_EQ(args[0], "quorvin");  // the program path is left alone
    EXPECT_EQ(args[1], "LIST");
    EXPECT_EQ(args[2], "MIXED.LOG");
    EXPECT_EQ(args[3], "\xE9T\xE9");
    EXPECT_EQ(args[4], "-D:ABC");
    EXPECT_EQ(line.GetPositional(1), args[2].c_str());  // not copied
}

TEST(CommandLine, SwitchForms) {
    Argv args{"-d:abc", "-d:", "-dabc", "-", "/", "-1", "--q", "/tmp/x"};
    const CommandLine line(args.argc(), args.argv());
    ASSERT_EQ(line.switchCount, 8u);
    EXPECT_EQ(line.positionalCount, 0u);
    EXPECT_EQ(line.switches[0].letter, 'D');
    EXPECT_STREQ(line.switches[0].value, "ABC");
    EXPECT_EQ(line.switches[1].letter, 'D');
    EXPECT_STREQ(line.switches[1].value, "");
    EXPECT_EQ(line.switches[2].letter, 'D');
    EXPECT_EQ(line.switches[2].value, nullptr);
    EXPECT_EQ(line.switches[3].letter, '\0');  // lone "-"
    EXPECT_EQ(line.switches[3].value, nullptr);
    EXPECT_EQ(line.switches[4].letter, '\0');  // lone "/"
    EXPECT_EQ(line.switches[5].letter, '1');
    EXPECT_EQ(line.switches[6].letter, '-');
    EXPECT_EQ(line.switches[7].letter, 'T');  // a path that begins with a slash
}

TEST(CommandLine, FindSwitchTakesTheFirstOccurrenceInEitherCase) {
    Argv args{"capture", "-d:first", "/D:second", "-quiet"};
    const CommandLine line(args.argc(), args.argv());
    const char* value = "untouched";
    EXPECT_NE(line.FindSwitch('d', &value), 0);
    EXPECT_STREQ(value, "FIRST");
    EXPECT_NE(line.FindSwitch('Q'), 0);
    value = "untouched";
    EXPECT_EQ(line.FindSwitch('x', &value), 0);
    EXPECT_STREQ(value, "untouched");
}

TEST(CommandLine, LoneDashMatchesNoLetter) {
    Argv args{"-", "help"};
    const CommandLine line(args.argc(), args.argv());
    EXPECT_EQ(line.FindSwitch('q'), 0);
    EXPECT_EQ(line.FindSwitch('-'), 0);
}

TEST(CommandLine, EmptyArgumentIsPositional) {
    Argv args{"", "-q", ""};
    const CommandLine line(args.argc(), args.argv());
    EXPECT_EQ(line.positionalCount, 2u);
    EXPECT_EQ(Positional(line, 0), "");
    EXPECT_EQ(line.switchCount, 1u);
}

TEST(CommandLine, NoArguments) {
    Argv args{};
    const CommandLine line(args.argc(), args.argv());
    EXPECT_EQ(line.positionalCount, 0u);
    EXPECT_EQ(line.switchCount, 0u);
    EXPECT_EQ(line.GetPositional(0), nullptr);
    EXPECT_EQ(line.FindSwitch('q'), 0);
}

TEST(CommandLine, GetPositionalIntParsesLikeBase10Conversion) {
    Argv args{"set", "12abc", "abc", "+7", "99999999999", "-5", "  42", "-99999999999x", ""};
    // "-5" and "-99999999999x" are switches; the positionals shift accordingly.
    const CommandLine line(args.argc(), args.argv());
    const struct {
        uint32_t index;
        int32_t expected;
    } cases[] = {{1, 12}, {2, 0}, {3, 7}, {4, 2147483647}, {5, 42}, {6, 0}};
    for (const auto& c : cases) {
        int32_t value = -1;
        EXPECT_NE(line.GetPositionalInt(c.index, &value), 0) << c.index;
        EXPECT_EQ(value, c.expected) << Positional(line, c.index);
    }
    int32_t untouched = 77;
    EXPECT_EQ(line.GetPositionalInt(7, &untouched), 0);
    EXPECT_EQ(untouched, 77);
}

TEST(CommandLine, GetPositionalIntSaturatesNegativeNumbers) {
    // A negative number can only be reached through leading white space.
    Argv args{"set", " -99999999999", " -12"};
    const CommandLine line(args.argc(), args.argv());
    int32_t value = 0;
    ASSERT_NE(line.GetPositionalInt(1, &value), 0);
    EXPECT_EQ(value, INT32_MIN);
    ASSERT_NE(line.GetPositionalInt(2, &value), 0);
    EXPECT_EQ(value, -12);
}

}  // namespace
