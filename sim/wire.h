// What the platform layer and the driver simulator say to each other. They meet at one
// SOCK_STREAM Unix socket in the simulator's root folder; a client opens a connection
// per channel handle, per enumeration, per notification registration and per control
// command, and its first message says which of these it is.
//
// Every message is a 32-bit body length followed by the body; a body starts with its
// Kind and goes on with 32/64-bit integers and length-prefixed byte strings, all in the
// machine's byte order (both ends run on the same machine).
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace wire {

inline constexpr char ROOT_VARIABLE[] = "VEKDIAG_SIM_ROOT";
inline constexpr char SOCKET_NAME[] = "server.sock";
inline constexpr char LOCK_NAME[] = "server.lock";
// Large enough for a read of the biggest log the simulator keeps.
inline constexpr uint32_t MAX_BODY = (1u << 30) + 4096;

enum class Kind : uint32_t {
    // First message of a connection.
    Open = 1,       // string path, u32 access, u32 share -> OpenReply
    Enumerate = 2,  // -> EnumerateReply
    Subscribe = 3,  // -> SubscribeReply, then Event messages until either side hangs up
    Control = 4,    // u32 count, count strings (the arguments) -> Output..., Done
    // string interface path -> SubscribeReply, then that adapter's Event messages until
    // either side hangs up; the client answers each query with Answer.
    SubscribeDevice = 5,
    // On a connection whose Open succeeded.
    Ioctl = 10,  // u32 code, u32 output capacity, string input -> IoctlReply
    Close = 11,  // -> CloseReply, then the server hangs up
    // On a SubscribeDevice connection.
    Answer = 12,  // u32 query, u32 result (0: the removal may go ahead)
    // From the server.
    OpenReply = 20,       // u32 error (0: the connection is now the channel)
    IoctlReply = 21,      // u32 error, u32 byte count reported, string output
    CloseReply = 22,      //
    EnumerateReply = 23,  // u32 error, u32 count, count times (string path, u32 present)
    // u32 refused (0: live; 1: no events will come, 2: no such adapter present; the
    // server then hangs up)
    SubscribeReply = 24,
    Event = 25,   // u32 action (ACTION_...), string path, u32 query (0 unless ACTION_QUERY_REMOVE)
    Output = 26,  // string: bytes for the command's standard output
    Done = 27,    // u32 exit status, string message for standard error
};

// The values of CM_NOTIFY_ACTION.
inline constexpr uint32_t ACTION_ARRIVAL = 0;
inline constexpr uint32_t ACTION_REMOVAL = 1;
inline constexpr uint32_t ACTION_QUERY_REMOVE = 2;
inline constexpr uint32_t ACTION_QUERY_REMOVE_FAILED = 3;
inline constexpr uint32_t ACTION_REMOVE_PENDING = 4;
inline constexpr uint32_t ACTION_REMOVE_COMPLETE = 5;

inline constexpr uint32_t SUBSCRIPTION_LIVE = 0;
inline constexpr uint32_t SUBSCRIPTION_REFUSED = 1;
inline constexpr uint32_t SUBSCRIPTION_NO_DEVICE = 2;

// Interface paths are UTF-8 wherever they travel: in the simulator, in these messages and
// through the platform layer's port to the driver. The simulator measures them in the
// UTF-16 units of Windows, the platform layer hands them to callbacks as wide characters;
// both read them with the decoder below, which lives here because this header is the one
// both sides include.

// The code point of the UTF-8 sequence text starts with, and its length in bytes; 0 when
// the bytes there start no valid sequence. A NUL is none either: a path holding one would
// end there for every C string that carries it.
inline size_t DecodeUtf8Sequence(std::string_view text, char32_t* point) {
    // The lead bytes: the sequence length, the lead's payload bits, and the smallest code
    // point the sequence may carry (so that overlong forms are refused).
    static constexpr struct {
        uint8_t low, high;
        size_t length;
        uint8_t bits;
        char32_t smallest;
    } LEADS[] = {{0x01, 0x7F, 1, 0x7F, 0x01},
                 {0xC2, 0xDF, 2, 0x1F, 0x80},
                 {0xE0, 0xEF, 3, 0x0F, 0x800},
                 {0xF0, 0xF4, 4, 0x07, 0x10000}};
    if (text.empty()) {
        return 0;
    }
    const auto lead = static_cast<uint8_t>(text[0]);
    const auto kind = std::find_if(std::begin(LEADS), std::end(LEADS),
                                   [&](const auto& k) { return lead >= k.low && lead <= k.high; });
    if (kind == std::end(LEADS) || kind->length > text.size()) {
        return 0;
    }
    *point = lead & kind->bits;
    for (size_t k = 1; k < kind->length; ++k) {
        const auto next = static_cast<uint8_t>(text[k]);
        if ((next & 0xC0u) != 0x80u) {
            return 0;
        }
        *point = *point << 6 | (next & 0x3Fu);
    }
    const bool surrogate = *point >= 0xD800 && *point <= 0xDFFF;
    return *point >= kind->smallest && *point <= 0x10FFFF && !surrogate ? kind->length : 0;
}

// The code points of text; each byte that starts no valid sequence becomes U+FFFD and
// makes *valid false.
inline std::u32string DecodeUtf8(std::string_view text, bool* valid = nullptr) {
    std::u32string points;
    points.reserve(text.size());
    bool allValid = true;
    for (size_t i = 0; i < text.size();) {
        char32_t point = 0;
        const size_t length = DecodeUtf8Sequence(text.substr(i), &point);
        allValid = allValid && length != 0;
        points.push_back(length != 0 ? point : U'\uFFFD');
        i += length != 0 ? length : 1;
    }
    if (valid != nullptr) {
        *valid = allValid;
    }
    return points;
}

class Writer {
public:
    // `expected`: about how many bytes will follow, to allocate once.
    explicit Writer(Kind kind, size_t expected = 0) : bytes_(4, '\0') {
        bytes_.reserve(16 + expected);
        U32(static_cast<uint32_t>(kind));
    }

    Writer& U32(uint32_t value) { return Raw(&value, sizeof value); }
    Writer& U64(uint64_t value) { return Raw(&value, sizeof value); }
    Writer& Bytes(std::string_view value) {
        U32(static_cast<uint32_t>(value.size()));
        return Raw(value.data(), value.size());
    }

    // The framed message, ready to send.
    const std::string& Framed() {
        const auto body = static_cast<uint32_t>(bytes_.size() - 4);
        std::memcpy(bytes_.data(), &body, sizeof body);
        return bytes_;
    }

private:
    Writer& Raw(const void* data, size_t size) {
        bytes_.append(static_cast<const char*>(data), size);
        return *this;
    }
    std::string bytes_;
};

// Reads a body; any read past its end makes ok() false and yields zeros.
class Reader {
public:
    explicit Reader(std::string_view body) : rest_(body) {}

    Kind ReadKind() { return static_cast<Kind>(U32()); }
    uint32_t U32() { return Number<uint32_t>(); }
    uint64_t U64() { return Number<uint64_t>(); }
    std::string_view Bytes() {
        const uint32_t size = U32();
        if (!ok_ || rest_.size() < size) {
            ok_ = false;
            return {};
        }
        const std::string_view value = rest_.substr(0, size);
        rest_.remove_prefix(size);
        return value;
    }
    bool ok() const { return ok_; }

private:
    template <typename T>
    T Number() {
        T value = 0;
        if (rest_.size() < sizeof value) {
            ok_ = false;
            return 0;
        }
        std::memcpy(&value, rest_.data(), sizeof value);
        rest_.remove_prefix(sizeof value);
        return value;
    }
    std::string_view rest_;
    bool ok_ = true;
};

// Calls transfer (one send, recv or write of at most n bytes at p) until size bytes have
// moved; false when a call fails other than by an interruption, or moves nothing (a peer
// that hung up). The simulator writes its record files with it too.
template <typename Byte, typename Transfer>
bool TransferAll(Byte* p, size_t size, const Transfer& transfer) {
    while (size > 0) {
        const ssize_t moved = transfer(p, size);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved <= 0) {
            return false;
        }
        p += moved;
        size -= static_cast<size_t>(moved);
    }
    return true;
}

inline bool Send(int fd, Writer& message) {
    const std::string& framed = message.Framed();
    // MSG_NOSIGNAL: a peer that went away is an error code, not SIGPIPE.
    return TransferAll(framed.data(), framed.size(),
                       [fd](const char* p, size_t n) { return ::send(fd, p, n, MSG_NOSIGNAL); });
}

// Reads the messages of one connection through a buffer, so that a message usually
// costs one recv. Every message of the connection must be read through it.
class Receiver {
public:
    explicit Receiver(int fd) : fd_(fd), buffer_(BUFFER_SIZE) {}

    // Bytes have arrived that Next has not returned yet (a poll on the socket would not
    // show them).
    bool Buffered() const { return start_ != end_; }

    // False when the peer hung up, the connection failed or the message is too large.
    bool Next(std::string& body) {
        uint32_t size = 0;
        if (!Fill(sizeof size)) {
            return false;
        }
        std::memcpy(&size, buffer_.data() + start_, sizeof size);
        if (size > MAX_BODY) {
            return false;
        }
        start_ += sizeof size;
        const size_t buffered = std::min<size_t>(size, end_ - start_);
        body.assign(buffer_.data() + start_, buffered);
        start_ += buffered;
        if (buffered == size) {
            return true;
        }
        // A large body: the rest goes straight into place.
        body.resize(size);
        return TransferAll(body.data() + buffered, size - buffered,
                           [this](char* p, size_t n) { return ::recv(fd_, p, n, MSG_WAITALL); });
    }

private:
    static constexpr size_t BUFFER_SIZE = size_t{64} << 10;

    bool Fill(size_t need) {
        if (start_ == end_) {
            start_ = end_ = 0;
        } else if (start_ + need > buffer_.size()) {
            std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
            end_ -= start_;
            start_ = 0;
        }
        while (end_ - start_ < need) {
            const ssize_t got = ::recv(fd_, buffer_.data() + end_, buffer_.size() - end_, 0);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            end_ += static_cast<size_t>(got);
        }
        return true;
    }

    int fd_;
    std::vector<char> buffer_;
    size_t start_ = 0;
    size_t end_ = 0;
};

// The root folder: $VEKDIAG_SIM_ROOT, else vekdiag-sim in the system's temporary folder.
inline std::filesystem::path RootFolder() {
    const char* root = std::getenv(ROOT_VARIABLE);
    if (root != nullptr && root[0] != '\0') {
        return root;
    }
    std::error_code error;
    std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (error) {
        temp = "/tmp";
    }
    return temp / "vekdiag-sim";
}

// Fills the address of the server's socket; false when the path does not fit.
inline bool SocketAddress(sockaddr_un& address, std::string* path) {
    *path = (RootFolder() / SOCKET_NAME).string();
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path->size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path->c_str(), path->size() + 1);
    return true;
}

// A connection to the running server, or -1 when none answers.
inline int Connect() {
    sockaddr_un address;
    std::string path;
    if (!SocketAddress(address, &path)) {
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace wire
