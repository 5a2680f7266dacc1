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
             {"remove", "0", "--query", "1"},
             {"restart", "0", "--query"},
             {"hold", "0"},
             {"hold", "0", "both"},
             {"release", "0", "text"},
             {"text", "0"},
             {"timing", "0", "3", "--corrupt", "4"},
             {"timing", "0", "3", "--corrupt"},
             {"fill", "0", "both", "10"},
             {"served", "0"},
             {"fault", "0", "open-everything"},
             {"stop", "now"},
             {"raw", "0", "timing"},
             {"raw", "0", "timing", "A0F"},
             {"raw", "0", "timing", "G0"},
             {"raw", "0", "both", "A0"},
             {"raw", "0", "text", "--file"},
             {"readsize", "0", "0"},
             {"readsize", "0", "4097"},
             {"readsize", "0", "random"},
             {"readsize", "0", "half"},
             {"stream", "0", "timing"},
             {"stream", "0", "timing", "0"},
             {"stream", "0", "timing", "100", "--seconds", "0"},
             {"stream", "0", "text", "100", "--corrupt-every", "5"},
             {"stream", "0", "timing", "stop", "now"},
             {"delay", "0", "60001"},
             {"served", "--record", "/r", "0"},
             {"served", "0", "text", "--block"},
             {"subscribers", "0"},
             {"pnp"},
             {"pnp", "0", "clear"},
             {"pnp", "fail-everything"},
             {"add", "0:1", "--path"},
             {"add", "0:1", "--path", ""},
             {"add", "0:1", "--path", "bad \xC3"},
         }) {
        EXPECT_FALSE(Parse(args)) << (args.empty() ? "" : args[0]);
    }
    const auto timing = Parse({"timing", "2", "10", "--corrupt", "10"});
    ASSERT_TRUE(timing);
    EXPECT_EQ(timing->adapter, 2u);
    EXPECT_EQ(timing->corrupt, 10u);
}

TEST(CommandSyntax, DriverPlayingCommands) {
    auto raw = Parse({"raw", "1", "timing", "A0f5", "00FF"});
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->text, std::string("\xA0\xF5\x00\xFF", 4));
    EXPECT_EQ(raw->log, LogKind::Timing);
    raw = Parse({"raw", "1", "text", "--file", "x.bin"});
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->file, "x.bin");

    auto size = Parse({"readsize", "0", "4096"});
    ASSERT_TRUE(size);
    EXPECT_EQ(size->readSize, ReadSizeMode::Fixed);
    EXPECT_EQ(size->count, 4096u);
    size = Parse({"readsize", "0", "random", "7"});
    ASSERT_TRUE(size);
    EXPECT_EQ(size->readSize, ReadSizeMode::Random);
    EXPECT_EQ(size->count, 7u);

    auto stream =
        Parse({"stream", "2", "timing", "300000000", "--corrupt-every", "9", "--seconds", "3"});
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->count, 300000000u);
    EXPECT_EQ(stream->corrupt, 9u);
    EXPECT_EQ(stream->seconds, 3u);
    EXPECT_FALSE(stream->stop);
    stream = Parse({"stream", "2", "text", "stop"});
    ASSERT_TRUE(stream);
    EXPECT_TRUE(stream->stop);

    auto served = Parse({"served", "--record", "/some/root", "12", "timing", "--blocks"});
    ASSERT_TRUE(served);
    EXPECT_EQ(served->recordRoot, "/some/root");
    EXPECT_EQ(served->adapter, 12u);
    EXPECT_TRUE(served->blocks);

    const std::string longest(32767, 'p');
    const auto add = Parse({"add", "1:2", "--path", longest});
    ASSERT_TRUE(add);
    EXPECT_EQ(add->text, longest);
    EXPECT_FALSE(Parse({"add", "1:2", "--path", longest + "p"}));
    const auto fault = Parse({"fault", "0", "fail-read"});
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->fault, FaultKind::FailRead);
    const auto pnp = Parse({"pnp", "refuse-registration"});
    ASSERT_TRUE(pnp);
    EXPECT_EQ(pnp->pnp, PnpFault::RefuseRegistration);
}

TEST(CommandSyntax, Utf16LengthOfPaths) {
    EXPECT_EQ(Utf16Length("abc"), 3u);
    EXPECT_EQ(Utf16Length("\xC3\xA9\xE2\x82\xAC"), 2u);  // é and €
    EXPECT_EQ(Utf16Length("\xF0\x9F\x8E\xB5"), 2u);      // outside the BMP: a surrogate pair
    for (const char* bad : {"\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"}) {
        EXPECT_FALSE(Utf16Length(bad)) << bad;
    }
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
