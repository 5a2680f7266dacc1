#include "logs/piece_ring.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/report.h"
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

}  // namespace

std::string PieceName(const std::string& name, uint64_t number) {
    const size_t folder = name.find_last_of("/\\");
    const size_t start = folder == std::string::npos ? 0 : folder + 1;
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot <= start) {
        dot = name.size();  // no extension; a leading dot starts a name, not an extension
    }
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
    // A line this long starts a piece and goes on into it as it comes.
    if ((pieceBytes_ > 0 && NextPiece() == 0) || WriteWaiting() == 0) {
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

int PieceRing::NextPiece() {
    if (current_ != nullptr) {
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
        if (retired_.back().second->Failed()) {
            return 0;
        }
    }
    ++number_;
    pieceBytes_ = 0;
    auto piece = std::make_unique<LogFile>();
    if (piece->Create(PieceName(name_, number_), binary_) == 0) {
        return 0;
    }
    current_ = std::move(piece);
    if (keep_ != 0 && number_ > keep_) {
        DeleteOldPiece(number_ - keep_);
    }
    return 1;
}

// A piece that may still be open is closed first: an open file cannot be deleted
// everywhere. A failure is said once; the capture goes on.
void PieceRing::DeleteOldPiece(uint64_t number) {
    for (auto it = retired_.begin(); it != retired_.end(); ++it) {
        if (it->first == number) {
            it->second->Abandon();
            retired_.erase(it);
            break;
        }
    }
    const std::string name = PieceName(name_, number);
    errno = 0;
    if (DeleteLogFile(name.c_str()) == 0 && errno != ENOENT && !deleteFailureSaid_) {
        deleteFailureSaid_ = true;
        ReportFailure("cannot delete %s: %s", Printable(name.c_str()).c_str(),
                      std::strerror(errno != 0 ? errno : EIO));
    }
}

int PieceRing::Flush() {
    return !failed_ && current_->Flush() != 0 ? 1 : Fail();
}

int PieceRing::Sync() {
    if (failed_) {
        return 0;
    }
    bool synced = current_->Sync() != 0;
    for (auto& [number, piece] : retired_) {
        synced = piece->Sync() != 0 && piece->Close() != 0 && synced;
    }
    retired_.clear();
    return synced ? 1 : Fail();
}

int PieceRing::Close() {
    const bool ended = EndUnit() != 0 && Sync() != 0;
    const bool closed = current_ != nullptr && current_->Close() != 0;
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
