#include "sim/served_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <numeric>
#include <sstream>

#include "sim/wire.h"

namespace {

std::string FileStem(unsigned instance, LogKind log) {
    char stem[32];
    std::snprintf(stem, sizeof stem, "%04u-%s", instance, log == LogKind::Text ? "text" : "timing");
    return stem;
}

std::filesystem::path DataPath(const std::filesystem::path& folder, unsigned instance,
                               LogKind log) {
    return folder / (FileStem(instance, log) + ".bin");
}

std::filesystem::path BlocksPath(const std::filesystem::path& folder, unsigned instance,
                                 LogKind log) {
    return folder / (FileStem(instance, log) + ".blocks");
}

int OpenForAppending(const std::filesystem::path& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

bool WriteAll(int fd, std::string_view bytes) {
    return wire::TransferAll(bytes.data(), bytes.size(),
                             [fd](const char* p, size_t n) { return ::write(fd, p, n); });
}

bool ReadWhole(const std::filesystem::path& path, std::string* contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    *contents = all.str();
    return true;
}

}  // namespace

std::filesystem::path ServedFolder(const std::filesystem::path& root) {
    return root / "served";
}

unsigned NextFreeInstance(const std::filesystem::path& folder) {
    unsigned next = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        unsigned instance = 0;
        const auto parsed = std::from_chars(name.data(), name.data() + name.size(), instance);
        if (parsed.ec == std::errc() && parsed.ptr != name.data() && *parsed.ptr == '-') {
            next = std::max(next, instance + 1);
        }
    }
    return next;
}

void ServedRecord::Create(const std::filesystem::path& folder, unsigned instance, LogKind log) {
    Close();
    data_ = DataPath(folder, instance, log);
    blocks_ = BlocksPath(folder, instance, log);
    Open();
    Close();
}

bool ServedRecord::Open() {
    if (dataFd_ < 0) {
        dataFd_ = OpenForAppending(data_);
    }
    if (blocksFd_ < 0) {
        blocksFd_ = OpenForAppending(blocks_);
    }
    return dataFd_ >= 0 && blocksFd_ >= 0;
}

void ServedRecord::Append(std::string_view block) {
    if (data_.empty() || !Open()) {
        return;
    }
    // The bytes first: a record cut short by a kill then has bytes without their length,
    // which the reader counts as one last read.
    WriteAll(dataFd_, block);
    WriteAll(blocksFd_, std::to_string(block.size()) + "\n");
}

void ServedRecord::Close() {
    for (int* fd : {&dataFd_, &blocksFd_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

bool ReadServedBytes(const std::filesystem::path& folder, unsigned instance, LogKind log,
                     std::string* bytes) {
    return ReadWhole(DataPath(folder, instance, log), bytes);
}

bool ReadServedBlocks(const std::filesystem::path& folder, unsigned instance, LogKind log,
                      std::vector<uint64_t>* lengths) {
    // The lengths before the bytes: a read served meanwhile then has its bytes (written
    // first) counted below even if its length is not listed yet.
    std::string text;
    std::error_code error;
    if (!ReadWhole(BlocksPath(folder, instance, log), &text)) {
        return false;
    }
    const uintmax_t size = std::filesystem::file_size(DataPath(folder, instance, log), error);
    if (error) {
        return false;
    }
    lengths->clear();
    std::istringstream lines(text);
    // A last line without its line feed was cut by a kill: its bytes count below.
    for (std::string line; std::getline(lines, line) && !lines.eof();) {
        uint64_t length = 0;
        std::from_chars(line.data(), line.data() + line.size(), length);
        lengths->push_back(length);
    }
    const uint64_t listed = std::accumulate(lengths->begin(), lengths->end(), uint64_t{0});
    if (listed < size) {
        lengths->push_back(size - listed);
    }
    return true;
}

bool PrintServed(const std::filesystem::path& folder, unsigned instance, LogKind log, bool blocks,
                 FILE* out) {
    if (blocks) {
        std::vector<uint64_t> lengths;
        if (!ReadServedBlocks(folder, instance, log, &lengths)) {
            return false;
        }
        for (const uint64_t length : lengths) {
            std::fprintf(out, "%llu\n", static_cast<unsigned long long>(length));
        }
        return true;
    }
    std::ifstream in(DataPath(folder, instance, log), std::ios::binary);
    if (!in) {
        return false;
    }
    std::vector<char> piece(size_t{1} << 20);
    while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
        std::fwrite(piece.data(), 1, static_cast<size_t>(in.gcount()), out);
    }
    return true;
}
