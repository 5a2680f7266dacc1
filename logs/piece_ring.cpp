#include "logs/piece_ring.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/report.h"
#include "logs/capture_options.h"
#include "platform/log_files.h"

namespace {

// Bytes that wait longer than this are no usual line or record: a text line goes on
// straight into a piece of its own; a run of timing bytes with no record in it is cut.
// Either way what waits, and the block it waits with, fit in the smallest piece.
constexpr size_t MOST_WAITING = MIN_PIECE_SIZE - LOG_BLOCK_SIZE;
// Finished pieces left open until the next sync; beyond that the oldest is written
// through and closed at once, so that tiny pieces under a flood keep few files open.
constexpr size_t MOST_RETIRED = 8;
// The digits of a piece's number: at least as many as PieceName writes, and no more than
// any number of 64 bits needs.
constexpr size_t FEWEST_DIGITS = 5;
constexpr size_t MOST_DIGITS = 19;

bool SameName(const std::string& a, const std::string& b) {
    if (!FILE_NAMES_IGNORE_CASE) {
        return a == b;
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// The number of a piece of NAME as PieceName makes it, whatever its count of digits; 0
// for any other file (such as NAME's events file).
uint64_t PieceNumber(const std::string& name, const std::string& file) {
    const size_t dot = ExtensionStart(name);
    const std::string stem = name.substr(0, dot) + "-";
    const std::string extension = name.substr(dot);
    if (file.size() < stem.size() + FEWEST_DIGITS + extension.size() ||
        file.size() > stem.size() + MOST_DIGITS + extension.size() ||
        !SameName(file.substr(0, stem.size()), stem) ||
        !SameName(file.substr(file.size() - extension.size()), extension)) {
        return 0;
    }
    uint64_t number = 0;
    for (size_t i = stem.size(); i < file.size() - extension.size(); ++i) {
        if (file[i] < '0' || file[i] > '9') {
            return 0;
        }
        number = number * 10 + static_cast<uint64_t>(file[i] - '0');
    }
    return number;
}

}  // namespace

size_t ExtensionStart(const std::string& name) {
    const size_t folder = name.find_last_of("/\\");
    const size_t start = folder == std::string::npos ? 0 : folder + 1;
    const size_t dot = name.find_last_of('.');
    // No extension; a leading dot starts a name, not an extension.
    return dot == std::string::npos || dot <= start ? name.size() : dot;
}

std::string PieceName(const std::string& name, uint64_t number) {
    const size_t dot = ExtensionStart(name);
    char digits[24];
    std::snprintf(digits, sizeof digits, "-%05llu", static_cast<unsigned long long>(number));
    return name.substr(0, dot) + digits + name.substr(dot);
}

PieceRing::PieceRing(const char* name, bool binary, const PieceOptions& options)
    : name_(name), binary_(binary), pieceSize_(options.size), keep_(options.keep) {
    waiting_.reserve(MOST_WAITING + LOG_BLOCK_SIZE);
}

PieceRing::~PieceRing() = default;

int PieceRing::Start() {
    std::vector<std::string> files;
    errno = 0;
    if (ListFilesBeside(name_.c_str(), &files) == 0 && errno != ENOENT) {
        // Not knowing the pieces there, a new one might be one of them.
        ReportFailure("cannot list the folder of %s: %s", Printable(name_.c_str()).c_str(),
                      std::strerror(errno != 0 ? errno : EIO));
        return Fail();
    }
    for (const std::string& file : files) {
        const uint64_t number = PieceNumber(name_, file);
        if (number != 0) {
            kept_.push_back(number);
        }
    }
    std::sort(kept_.begin(), kept_.end());
    number_ = kept_.empty() ? 0 : kept_.back();
    return NextPiece() != 0 ? 1 : Fail();
}

int PieceRing::Fail() {
    failed_ = true;
    return 0;
}

int PieceRing::Write(const uint8_t* block, uint32_t size, const BlockCuts* cuts) {
    if (failed_) {
        return 0;
    }
    if (size == 0) {
        return 1;
    }
    if (current_ == nullptr && NextPiece() == 0) {
        return Fail();
    }
    if (!binary_) {
        TextCuts(block, size);
        cuts = &textCuts_;
    }
    // A text unit ends with its line feed, which the text-mode file may write wider.
    const uint64_t lineFeedExtra = binary_ ? 0 : TEXT_LINE_FEED_BYTES - 1;
    uint32_t from = 0;  // where the unit that the next cut ends starts in the block
    uint32_t run = 0;   // block bytes from here on are still to be written
    for (uint32_t i = 0; i < cuts->count; ++i) {
        const uint32_t cut = cuts->offsets[i];
        if (longLine_) {
            longLine_ = false;
        } else {
            const uint64_t unit = waiting_.size() + (cut - from) + lineFeedExtra;
            if (pieceBytes_ > 0 && pieceBytes_ + unit > pieceSize_) {
                if (current_->Write(block + run, from - run) == 0 || NextPiece() == 0) {
                    return Fail();
                }
                run = from;
            }
            if (WriteWaiting() == 0) {
                return Fail();
            }
        }
        pieceBytes_ += cut - from + lineFeedExtra;
        from = cut;
    }
    const uint32_t end = longLine_ ? size : from;
    pieceBytes_ += end - from;
    if (current_->Write(block + run, end - run) == 0) {
        return Fail();
    }
    waiting_.insert(waiting_.end(), block + end, block + size);
    if (waiting_.size() < MOST_WAITING) {
        return 1;
    }
    if (binary_) {
        return Place(waiting_.size()) != 0 && WriteWaiting() != 0 ? 1 : Fail();
    }
    // A line this long goes on as it comes: in the current piece when what came of it
    // still fits there, else in a piece of its own.
    if (Place(waiting_.size()) == 0 || WriteWaiting() == 0) {
        return Fail();
    }
    longLine_ = true;
    return 1;
}

int PieceRing::EndUnit() {
    if (failed_) {
        return 0;
    }
    longLine_ = false;
    if (waiting_.empty()) {
        return 1;
    }
    return Place(waiting_.size()) != 0 && WriteWaiting() != 0 ? 1 : Fail();
}

int PieceRing::EndPiece() {
    if (EndUnit() == 0) {
        return 0;
    }
    if (current_ == nullptr || pieceBytes_ == 0) {
        return 1;
    }
    return Retire() != 0 ? 1 : Fail();
}

// Starts a new piece unless a unit of this size still fits in the current one.
int PieceRing::Place(uint64_t diskBytes) {
    if (pieceBytes_ > 0 && pieceBytes_ + diskBytes > pieceSize_) {
        return NextPiece();
    }
    return 1;
}

int PieceRing::WriteWaiting() {
    if (waiting_.empty()) {
        return 1;
    }
    pieceBytes_ += waiting_.size();  // no line feed among them
    const int written = current_->Write(waiting_.data(), waiting_.size());
    waiting_.clear();
    return written;
}

// The current piece is finished: it waits for the next sync to be written through.
int PieceRing::Retire() {
    current_->Flush();
    retired_.emplace_back(number_, std::move(current_));
    if (retired_.size() > MOST_RETIRED) {
        LogFile& oldest = *retired_.front().second;
        const bool kept = oldest.Sync() != 0 && oldest.Close() != 0;
        retired_.erase(retired_.begin());
        if (!kept) {
            return 0;
        }
    }
    return retired_.back().second->Failed() ? 0 : 1;
}

int PieceRing::NextPiece() {
    if (current_ != nullptr && Retire() == 0) {
        return 0;
    }
    ++number_;
    pieceBytes_ = 0;
    auto piece = std::make_unique<LogFile>();
    if (piece->Create(PieceName(name_, number_), binary_) == 0) {
        return 0;
    }
    current_ = std::move(piece);
    if (keep_ == 0) {
        return 1;
    }
    kept_.push_back(number_);
    while (kept_.size() > keep_) {
        if (!DeleteOldPiece(kept_.front())) {
            undeleted_.push_back(kept_.front());
        }
        kept_.erase(kept_.begin());
    }
    return 1;
}

// A piece that may still be open is closed first: an open file cannot be deleted
// everywhere. True when it is gone, also when it was gone already. A failure is said
// once for the ring (one piece held a moment by another program is usually followed by
// others); the capture goes on.
bool PieceRing::DeleteOldPiece(uint64_t number) {
    for (auto it = retired_.begin(); it != retired_.end(); ++it) {
        if (it->first == number) {
            it->second->Abandon();
            retired_.erase(it);
            break;
        }
    }
    const std::string name = PieceName(name_, number);
    errno = 0;
    if (DeleteLogFile(name.c_str()) != 0 || errno == ENOENT) {
        return true;
    }
    if (!deleteFailureSaid_) {
        deleteFailureSaid_ = true;
        ReportFailure("cannot delete %s: %s", Printable(name.c_str()).c_str(),
                      std::strerror(errno != 0 ? errno : EIO));
    }
    return false;
}

int PieceRing::Flush() {
    return !failed_ && (current_ == nullptr || current_->Flush() != 0) ? 1 : Fail();
}

int PieceRing::Sync() {
    if (failed_) {
        return 0;
    }
    bool synced = current_ == nullptr || current_->Sync() != 0;
    for (auto& [number, piece] : retired_) {
        synced = piece->Sync() != 0 && piece->Close() != 0 && synced;
    }
    retired_.clear();
    undeleted_.erase(std::remove_if(undeleted_.begin(), undeleted_.end(),
                                    [this](uint64_t number) { return DeleteOldPiece(number); }),
                     undeleted_.end());
    return synced ? 1 : Fail();
}

int PieceRing::Close() {
    const bool ended = EndUnit() != 0 && Sync() != 0;
    const bool closed = current_ == nullptr || current_->Close() != 0;
    return ended && closed ? 1 : Fail();
}

void PieceRing::TextCuts(const uint8_t* block, uint32_t size) {
    textCuts_.count = 0;
    const uint8_t* end = block + size;
    for (const uint8_t* p = block; p < end;) {
        const auto* lineFeed = static_cast<const uint8_t*>(std::memchr(p, '\n', end - p));
        if (lineFeed == nullptr) {
            break;
        }
        p = lineFeed + 1;
        textCuts_.offsets[textCuts_.count++] = static_cast<uint16_t>(p - block);
    }
}
