#include "sim/command_syntax.h"

#include <gtest/gtest.h>

namespace {

std::optional<ControlCommand> Parse(const std::vector<std::string>& args) {
    std::string error;
    return ParseControlCommand(args, &error);
}

TEST(CommandSyntax, AdapterIdentitys) {
    AdapterIdentity identity;
    ASSERT_TRUE(ParseAdapterIdentity("7:1a2B", &identity));
    EXPECT_EQ(identity.index, 7);
    EXPECT_EQ(identity.type, 0x1A2B);
    ASSERT_TRUE(ParseAdapterIdentity("65535:0xFFFF", &identity));
    EXPECT_EQ(identity.index, 65535);
    for (const char* bad : {"1A2B", "0:", ":1", "0:12345", "65536:1", "-1:1", "0:1g", "0 :1"}) {
        EXPECT_FALSE(ParseAdapterIdentity(bad, &identity)) << bad;
    }
}

TEST(CommandSyntax, TextEscapes) {
    EXPECT_EQ(DecodeText(R"(a\nb)"), "a\nb");
    EXPECT_EQ(DecodeText(R"(a\\nb)"), "a\\nb");  // an escaped backslash, then n
    EXPECT_EQ(DecodeText(R"(\t\)"), "\\t\\");    // others stay as typed
    const auto text = Parse({"text", "0", "one", R"(two\n)", "three"});
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text, "one two\n three");
}

TEST(CommandSyntax, UsageErrors) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"bogus", "0"},
             {"remove"},
             {"remove", "x"},
             {"remove", "0", "1"},
             {"text", "0"},
             {"timing", "0", "3", "--corrupt", "4"},
             {"timing", "0", "3", "--corrupt"},
             {"fill", "0", "both", "10"},
             {"served", "0"},
             {"fault", "0", "open-everything"},
             {"stop", "now"},
         }) {
        EXPECT_FALSE(Parse(args)) << (args.empty() ? "" : args[0]);
    }
    const auto timing = Parse({"timing", "2", "10", "--corrupt", "10"});
    ASSERT_TRUE(timing);
    EXPECT_EQ(timing->adapter, 2u);
    EXPECT_EQ(timing->corrupt, 10u);
}

TEST(CommandSyntax, ServeOptions) {
    std::string error;
    auto options = ParseServeOptions({}, &error);
    ASSERT_TRUE(options);
    ASSERT_EQ(options->adapters.size(), 1u);
    EXPECT_EQ(options->adapters[0].type, 0x1A2B);
    EXPECT_EQ(options->logSize, 65536u);

    options =
        ParseServeOptions({"--adapter", "1:2", "--adapter", "3:4", "--log-size", "9"}, &error);
    ASSERT_TRUE(options);
    ASSERT_EQ(options->adapters.size(), 2u);
    EXPECT_EQ(options->adapters[1].index, 3);
    EXPECT_EQ(options->logSize, 9u);

    options = ParseServeOptions({"--no-adapter"}, &error);
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->adapters.empty());

    EXPECT_FALSE(ParseServeOptions({"--no-adapter", "--adapter", "0:1"}, &error));
    EXPECT_FALSE(ParseServeOptions({"--log-size", "0"}, &error));
    EXPECT_FALSE(ParseServeOptions({"--log-size"}, &error));
}

}  // namespace
