#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/simulator.h"

namespace {

using Lines = std::vector<std::string>;

const std::string QUERY = "ioctl 0xC3516000 in=0x00000001 out=12";

std::string Report(bool outTimer, bool outInterpolate, bool inTimer, bool inInterpolate) {
    auto state = [](bool on) { return on ? "on" : "off"; };
    return std::string("\t       outtimer ") + state(outTimer) + "\n" + "\t outinterpolate " +
           state(outInterpolate) + "\n" + "\t        intimer " + state(inTimer) + "\n" +
           "\t  ininterpolate " + state(inInterpolate) + "\n";
}

// What the last run sent between the list's own open and adapter query and the close.
Lines CommandRequests(Simulator& sim, int adapter = 0) {
    const Lines requests = sim.Requests(adapter);
    size_t start = requests.size();
    while (start > 0 && requests[start - 1].rfind("open VekDiagConfigure", 0) != 0) {
        --start;
    }
    EXPECT_GE(requests.size(), start + 2);
    EXPECT_EQ(requests.back(), "close VekDiagConfigure");
    return Lines(requests.begin() + static_cast<long>(start) + 1, requests.end() - 1);
}

TEST(SetCommand, ReportsEveryOptionFromTheMask) {
    Simulator sim;
    EXPECT_EQ(sim.Quorvin({"-q", "set"}).out, Report(false, false, false, false));
    for (const char* option : {"outtimer", "intimer"}) {
        EXPECT_EQ(sim.Quorvin({"-q", "set", option, "on"}).status, 0);
    }
    EXPECT_EQ(sim.Control({"options", "0"}), "5\n");
    const ProcessResult five = sim.Quorvin({"-q", "set"});
    EXPECT_EQ(five.status, 0);
    EXPECT_EQ(five.out, Report(true, false, true, false));
    for (const char* option : {"outinterpolate", "ininterpolate"}) {
        sim.Quorvin({"-q", "set", option, "on"});
    }
    EXPECT_EQ(sim.Quorvin({"-q", "set"}).out, Report(true, true, true, true));
}

TEST(SetCommand, ReportsOneOptionOrAllForAWordThatNamesNone) {
    Simulator sim;
    sim.Quorvin({"-q", "set", "intimer", "on"});
    EXPECT_EQ(sim.Quorvin({"-q", "set", "intimer"}).out, "\t        intimer on\n");
    EXPECT_EQ(sim.Quorvin({"-q", "set", "INTIMER"}).out, "\t        intimer on\n");
    EXPECT_EQ(sim.Quorvin({"-q", "set", "nothing"}).out, Report(false, false, true, false));
    EXPECT_EQ(sim.Quorvin({"-q", "set", "loglevel"}).out, Report(false, false, true, false));
    EXPECT_EQ(sim.Quorvin({"-q", "set", "loglevel", "-1"}).out, Report(false, false, true, false));
    EXPECT_EQ(CommandRequests(sim), Lines{QUERY});  // a report only asks
}

TEST(SetCommand, SwitchingAnOptionSendsOneBitAndConfirms) {
    Simulator sim;
    const ProcessResult on = sim.Quorvin({"-q", "set", "outtimer", "on"});
    EXPECT_EQ(on.status, 0);
    EXPECT_EQ(on.out, "\tset        OUTTIMER ON\n");
    EXPECT_EQ(CommandRequests(sim),
              Lines{"ioctl 0xC3512004 in=0x00000002,0x00000001,0x00000001,0x00000000 out=0"});
    EXPECT_EQ(sim.Control({"options", "0"}), "1\n");

    const ProcessResult off = sim.Quorvin({"-q", "set", "ininterpolate", "off", "extra"});
    EXPECT_EQ(off.out, "\tset   ININTERPOLATE OFF\n");
    EXPECT_EQ(CommandRequests(sim),
              Lines{"ioctl 0xC3512004 in=0x00000002,0x00000008,0x00000000,0x00000000 out=0"});
}

TEST(SetCommand, LogLevel) {
    Simulator sim;
    const ProcessResult three = sim.Quorvin({"-q", "set", "loglevel", "3"});
    EXPECT_EQ(three.status, 0);
    EXPECT_EQ(three.out, "");
    EXPECT_EQ(CommandRequests(sim),
              Lines{"ioctl 0xC3512004 in=0x00000000,0x00000003,0x00000000,0x00000000 out=0"});
    EXPECT_EQ(sim.Control({"loglevel", "0"}), "3\n");
    sim.Quorvin({"-q", "set", "LogLevel", "65535"});
    EXPECT_EQ(sim.Control({"loglevel", "0"}), "65535\n");
}

TEST(SetCommand, InvalidLogLevelSendsNothing) {
    Simulator sim;
    sim.Quorvin({"-q", "set", "loglevel", "4"});
    for (const char* level : {"abc", "12abc", "70000", "on", "", " 3", "+3", "99999999999"}) {
        const ProcessResult run = sim.Quorvin({"-q", "set", "loglevel", level});
        EXPECT_EQ(run.status, 2) << level;
        EXPECT_EQ(run.out, "") << level;
        EXPECT_EQ(run.err.rfind("invalid log level", 0), 0u) << level;
        EXPECT_TRUE(CommandRequests(sim).empty()) << level;
    }
    EXPECT_EQ(sim.Control({"loglevel", "0"}), "4\n");  // never switched off
}

TEST(SetCommand, UnknownOptionOrValueIsAUsageErrorAndSendsNothing) {
    Simulator sim;
    for (const Lines& arguments : {Lines{"outtimer", "yes"}, Lines{"bogus", "on"}}) {
        Lines command = {"-q", "set"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const ProcessResult run = sim.Quorvin(command);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(run.err.empty());
        EXPECT_TRUE(CommandRequests(sim).empty());
    }
}

TEST(SetCommand, RejectedOrUnsentRequestIsNotConfirmed) {
    Simulator sim;
    sim.Control({"fault", "0", "reject-set"});
    const ProcessResult rejected = sim.Quorvin({"-q", "set", "outtimer", "on"});
    EXPECT_EQ(rejected.status, 1);
    EXPECT_EQ(rejected.out, "");
    EXPECT_EQ(rejected.err, "the driver rejected the stream option\n");
    EXPECT_EQ(sim.Control({"options", "0"}), "0\n");
    EXPECT_EQ(sim.Quorvin({"-q", "set", "loglevel", "2"}).status, 1);

    sim.Control({"fault", "0", "clear"});
    sim.Control({"fault", "0", "open-configure"});
    const ProcessResult closed = sim.Quorvin({"-q", "set", "outtimer", "on"});
    EXPECT_EQ(closed.status, 1);
    EXPECT_EQ(closed.out, "");
    EXPECT_EQ(closed.err.rfind("cannot open ", 0), 0u);
    // A report still shows its lines, all off, and says why they cannot be trusted.
    const ProcessResult report = sim.Quorvin({"-q", "set"});
    EXPECT_EQ(report.status, 1);
    EXPECT_EQ(report.out, Report(false, false, false, false));
}

TEST(SetCommand, RejectedQueryIsReported) {
    Simulator sim;
    sim.Quorvin({"-q", "set", "intimer", "on"});
    sim.Control({"fault", "0", "reject-query"});
    const ProcessResult run = sim.Quorvin({"-q", "set"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "the driver rejected the stream-option query\n");
}

TEST(SetCommand, NoAdapterSendsAndPrintsNothing) {
    Simulator sim({"--no-adapter"});
    const ProcessResult run = sim.Quorvin({"-q", "set"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "no adapter found\n");
}

TEST(ClearCacheCommand, SendsOneRequestToTheFirstAdapterOnly) {
    Simulator sim({"--adapter", "0:1A2B", "--adapter", "1:1A2B"});
    const ProcessResult run = sim.Quorvin({"-q", "clearcache", "now", "-x"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(CommandRequests(sim, 0),
              Lines{"ioctl 0xC3512004 in=0x00000003,0x00000000,0x00000000,0x00000000 out=0"});
    EXPECT_TRUE(CommandRequests(sim, 1).empty());
    EXPECT_EQ(sim.Control({"clearcount", "0"}), "1\n");
    EXPECT_EQ(sim.Control({"clearcount", "1"}), "0\n");
    sim.Quorvin({"-q", "ClearCache"});
    EXPECT_EQ(sim.Control({"clearcount", "0"}), "2\n");
}

TEST(ClearCacheCommand, FailuresAreReported) {
    Simulator none({"--no-adapter"});
    const ProcessResult missing = none.Quorvin({"-q", "clearcache"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "no adapter found\n");

    Simulator sim;
    sim.Control({"fault", "0", "reject-set"});
    const ProcessResult rejected = sim.Quorvin({"-q", "clearcache"});
    EXPECT_EQ(rejected.status, 1);
    EXPECT_EQ(rejected.out, "");
    EXPECT_EQ(rejected.err, "the driver rejected the clear-cache request\n");
}

}  // namespace
