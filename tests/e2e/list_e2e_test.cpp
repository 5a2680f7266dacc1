#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/simulator.h"

namespace {

using Lines = std::vector<std::string>;

TEST(ListCommand, NoServerMeansNoAdapters) {
    Simulator none{Simulator::NoServer{}};
    const ProcessResult run = none.Quorvin({"-q", "list"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "0 devices found\n");
}

TEST(ListCommand, NoAdapterPresent) {
    Simulator sim({"--no-adapter"});
    const ProcessResult run = sim.Quorvin({"list"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "\nQuorvin.exe - utility to dump logs from Orlavant WDM driver.\n\n"
              "0 devices found\n");
}

TEST(ListCommand, OneAdapterAndWhatItReceived) {
    Simulator sim;
    const ProcessResult run = sim.Quorvin({"-q", "LIST", "extra", "-x"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1 devices found\n0 adapter index 0, adapter type VEK1A2B\n");
    EXPECT_EQ(sim.Requests(0),
              (Lines{"open VekDiagConfigure access=0x10000000 share=0x0",
                     "ioctl 0xC3516000 in=0x00000000 out=12", "close VekDiagConfigure"}));
}

TEST(ListCommand, TwoAdaptersInEnumerationOrderWithPaddedTypes) {
    Simulator sim({"--adapter", "5:AB", "--adapter", "1:1A2B"});
    const ProcessResult run = sim.Quorvin({"-q", "list"});
    EXPECT_EQ(run.out,
              "2 devices found\n"
              "0 adapter index 5, adapter type VEK00AB\n"
              "1 adapter index 1, adapter type VEK1A2B\n");
}

// An adapter that cannot be asked keeps its line, with zeros, and standard error says
// why; the run fails, as its output is not what the driver would have said.
TEST(ListCommand, AdapterThatCannotBeAskedIsListedAndSaidWhy) {
    Simulator sim({"--adapter", "3:BEEF", "--adapter", "4:1A2B"});
    sim.Control({"fault", "0", "open-configure"});
    const ProcessResult run = sim.Quorvin({"-q", "list"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "2 devices found\n"
              "0 adapter index 0, adapter type VEK0000\n"
              "1 adapter index 4, adapter type VEK1A2B\n");
    EXPECT_EQ(run.err,
              "adapter 0: cannot open "
              R"(\\?\ROOT#MEDIA#0000#{7f95af7c-f68a-4351-bb8e-268af28ea14c}\VekDiagConfigure)"
              "\n");
    EXPECT_EQ(sim.Requests(0),
              (Lines{"open VekDiagConfigure access=0x10000000 share=0x0 -> error 5"}));

    // A query the driver rejects, or answers with less than the record, tells nothing.
    sim.Control({"fault", "0", "clear"});
    for (const char* fault : {"reject-query", "short-reply"}) {
        sim.Control({"fault", "1", fault});
        const ProcessResult rejected = sim.Quorvin({"-q", "list"});
        EXPECT_EQ(rejected.status, 1) << fault;
        EXPECT_EQ(rejected.out,
                  "2 devices found\n"
                  "0 adapter index 3, adapter type VEKBEEF\n"
                  "1 adapter index 0, adapter type VEK0000\n")
            << fault;
        EXPECT_EQ(rejected.err, "adapter 1: the driver rejected the adapter-information query\n")
            << fault;
        sim.Control({"fault", "1", "clear"});
    }
}

TEST(ListCommand, RemovedAdapterIsNotListed) {
    Simulator sim({"--adapter", "0:1", "--adapter", "1:2"});
    sim.Control({"remove", "0"});
    EXPECT_EQ(sim.Quorvin({"-q", "list"}).out,
              "1 devices found\n0 adapter index 1, adapter type VEK0002\n");
}

}  // namespace
