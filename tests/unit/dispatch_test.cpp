#include <gtest/gtest.h>

#include <string>

#include "cli/entry_point.h"
#include "cli/texts.h"
#include "tests/support/argv.h"
#include "tests/support/capture_stdout.h"

namespace {

struct RunResult {
    int status;
    std::string output;
};

RunResult RunWith(std::initializer_list<std::string> arguments) {
    Argv args(arguments);
    StdoutCapture capture;
    const int status = RunQuorvin(args.argc(), args.argv());
    return {status, capture.Finish()};
}

const std::string BANNER = BANNER_TEXT;
const std::string USAGE = USAGE_TEXT;

TEST(Dispatch, FixedTextsAreExact) {
    EXPECT_EQ(BANNER, "\nQuorvin.exe - utility to dump logs from Orlavant WDM driver.\n\n");
    EXPECT_EQ(USAGE,
              "Quorvin <command> [<options>] [<arguments>]\n"
              "    list - list available adapters.\n"
              "    dump [<logtype>] [<textlog>] [<timinglog>] - dump circular log buffer(s).\n"
              "    capture [-d] [<logtype>] [<textlog>] [<timinglog>] - capture log(s),\n"
              "            '-d' include dump of older events still in buffer.\n"
              "    set <option> [<value>] - set (or get) driver option.\n"
              "    clearcache - clear registry keys containing audio device capabilities"
              " to force reenumeration.\n"
              "    help [<command>] - display this message or help for specified command.\n"
              "    <logtype> - 'text'(default), 'timing' or 'both'\n"
              "    <textlog> - name of file to receive text log (defaults to console)\n"
              "    <timinglog> - name of file to receive timing log (required if logtype is\n"
              "                  timing or both)\n");
    EXPECT_EQ(std::string(SET_HELP_TEXT),
              "Quorvin set [loglevel <value>] || [<stream option> [<value>]]\n"
              "    stream option - \"outtimer\", \"outinterpolate\", \"intimer\" or"
              " \"ininterpolate\".\n"
              "    value - \"on\" or \"off\" for stream option (omit value to report"
              " current setting).\n"
              "    value - 0 - 5 for loglevel.  5 is VERBOSE, 0 is OFF\n"
              "    with no other parameters 'set' reports stream options\n");
}

TEST(Dispatch, NoArgumentsPrintBannerThenUsage) {
    const RunResult run = RunWith({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, BANNER + USAGE);
}

TEST(Dispatch, QuietSwitchInAnyFormSuppressesTheBanner) {
    for (const char* quiet : {"-q", "-Q", "/q", "/Q", "-quiet"}) {
        const RunResult run = RunWith({quiet});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, USAGE) << quiet;
    }
    EXPECT_EQ(RunWith({"/Q", "help"}).output, USAGE);
    EXPECT_EQ(RunWith({"--q"}).output, BANNER + USAGE);  // its letter is "-"
}

TEST(Dispatch, UnknownCommandWordsPrintUsage) {
    // A lone "-" is a switch: no command word at all, which is not an error.
    EXPECT_EQ(RunWith({"-"}).output, BANNER + USAGE);
    EXPECT_EQ(RunWith({"-"}).status, 0);
    for (const char* word : {"lis", "lists", "", "nothing"}) {
        const RunResult run = RunWith({word});
        EXPECT_EQ(run.output, BANNER + USAGE) << '"' << word << '"';
        EXPECT_EQ(run.status, 2) << '"' << word << '"';
    }
}

TEST(Dispatch, CommandWordsMatchInAnyCase) {
    for (const char* word : {"list", "LIST", "List", "lIsT"}) {
        const RunResult run = RunWith({"-q", word});
        EXPECT_EQ(run.output.find(USAGE), std::string::npos) << word;
    }
    EXPECT_EQ(RunWith({"-q", "list"}).output, RunWith({"list", "-q"}).output);
}

TEST(Dispatch, OnlyHelpSetHasItsOwnText) {
    EXPECT_EQ(RunWith({"help", "set"}).output, BANNER + SET_HELP_TEXT);
    EXPECT_EQ(RunWith({"help", "Capture"}).output, BANNER + CAPTURE_HELP_TEXT);
    EXPECT_EQ(RunWith({"HELP", "Set", "extra"}).output, BANNER + SET_HELP_TEXT);
    for (const char* topic : {"dump", "help", "list", "nothing", "clearcache"}) {
        EXPECT_EQ(RunWith({"help", topic}).output, BANNER + USAGE) << topic;
    }
    EXPECT_EQ(RunWith({"help"}).output, BANNER + USAGE);
    EXPECT_EQ(RunWith({"help", "nothing"}).status, 0);
}

}  // namespace
