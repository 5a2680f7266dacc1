// What every read of a log returned, kept on disk under the simulator's root so that it
// outlives the adapter and the simulator: for instance 7's timing log, the bytes in
// served/0007-timing.bin and the length of each read (one decimal per line, 0 for an
// empty answer) in served/0007-timing.blocks. Each read is written with one write() per
// file, before it is answered, so a simulator killed with SIGKILL leaves a complete
// record (at most one read more than its client received).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "sim/command_syntax.h"

// ROOT/served.
std::filesystem::path ServedFolder(const std::filesystem::path& root);

// One past the highest instance with a record in folder; 0 when there is none. A
// simulator restarted in the same root starts numbering there, so that no instance
// number (and no record) is ever used twice.
unsigned NextFreeInstance(const std::filesystem::path& folder);

class ServedRecord {
public:
    ServedRecord() = default;
    ~ServedRecord() { Close(); }
    ServedRecord(const ServedRecord&) = delete;
    ServedRecord& operator=(const ServedRecord&) = delete;

    // Creates the (empty) files at once, so that the instance counts as used.
    void Create(const std::filesystem::path& folder, unsigned instance, LogKind log);
    // Appends one read's answer; files that cannot be written leave the record short.
    void Append(std::string_view block);
    // Lets go of the files (they are opened again on the next Append).
    void Close();

private:
    bool Open();

    std::filesystem::path data_;
    std::filesystem::path blocks_;
    int dataFd_ = -1;
    int blocksFd_ = -1;
};

// The record as served: its bytes, or its read lengths. False when there is none.
bool ReadServedBytes(const std::filesystem::path& folder, unsigned instance, LogKind log,
                     std::string* bytes);
bool ReadServedBlocks(const std::filesystem::path& folder, unsigned instance, LogKind log,
                      std::vector<uint64_t>* lengths);
// Copies the bytes (or the lengths, one per line) to out without holding them all.
bool PrintServed(const std::filesystem::path& folder, unsigned instance, LogKind log, bool blocks,
                 FILE* out);
