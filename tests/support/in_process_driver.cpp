// The unit tests' port to the driver: calls on a Driver object in this process.
#include "tests/support/in_process_driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "platform/linux/driver_port.h"
#include "sim/served_record.h"
#include "sim/wire.h"
#include "tests/support/request_record.h"

namespace {

class InProcessEvents;

// The driver the tests installed, and the subscriptions to it.
struct Installed {
    std::mutex mutex;
    Driver* driver = nullptr;
    std::unordered_set<InProcessEvents*> subscriptions;
};

Installed& TheInstalled() {
    static auto* installed = new Installed;  // a registration's thread may outlive a test
    return *installed;
}

Driver* InstalledDriver() {
    Installed& installed = TheInstalled();
    const std::lock_guard<std::mutex> lock(installed.mutex);
    return installed.driver;
}

class InProcessChannel : public DriverChannel {
public:
    InProcessChannel(Driver& driver, const OpenChannel& open) : driver_(driver), open_(open) {}
    ~InProcessChannel() override { driver_.Close(open_); }

    DWORD Request(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned) override {
        const IoctlResult result = driver_.Ioctl(
            open_, code, std::string_view(static_cast<const char*>(in), inSize), outSize);
        if (!result.output.empty()) {
            std::memcpy(out, result.output.data(), result.output.size());
        }
        *returned = static_cast<DWORD>(result.output.size() + result.overcount);
        return result.error;
    }

private:
    Driver& driver_;
    const OpenChannel open_;
};

// A queue of the driver's events for one registration's thread.
class InProcessEvents : public DriverEvents, public EventSink {
public:
    explicit InProcessEvents(Driver& driver) : driver_(driver) {
        subscribed_ = driver_.Subscribe(this);
        Installed& installed = TheInstalled();
        const std::lock_guard<std::mutex> lock(installed.mutex);
        installed.subscriptions.insert(this);
    }
    ~InProcessEvents() override {
        if (subscribed_) {
            driver_.Unsubscribe(this);
        }
        Installed& installed = TheInstalled();
        const std::lock_guard<std::mutex> lock(installed.mutex);
        installed.subscriptions.erase(this);
    }

    Subscription Begin() override {
        return subscribed_ ? Subscription::Live : Subscription::Refused;
    }

    bool Next(DriverEvent* event) override {
        std::unique_lock<std::mutex> lock(mutex_);
        waiting_ = true;
        changed_.wait(lock, [this] { return cancelled_ || !queue_.empty(); });
        waiting_ = false;
        if (cancelled_) {
            return false;
        }
        const InterfaceEvent& next = queue_.front();
        *event = DriverEvent{static_cast<CM_NOTIFY_ACTION>(next.action), next.path};
        queue_.pop_front();
        return true;
    }

    void Answer(DWORD /*result*/) override {}  // no queries come here

    void Cancel() override {
        const std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }

    void Post(const InterfaceEvent& event) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(event);
        changed_.notify_all();
    }

    // Everything posted was taken, and the taker is back waiting for more.
    bool Delivered() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return cancelled_ || (queue_.empty() && waiting_);
    }

private:
    Driver& driver_;
    bool subscribed_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<InterfaceEvent> queue_;
    bool waiting_ = false;
    bool cancelled_ = false;
};

}  // namespace

DWORD OpenDriverChannel(const char* path, DWORD access, DWORD share,
                        std::unique_ptr<DriverChannel>* channel) {
    Driver* driver = InstalledDriver();
    if (driver == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    OpenChannel open;
    const DWORD error = driver->Open(path, access, share, &open);
    if (error == ERROR_SUCCESS) {
        *channel = std::make_unique<InProcessChannel>(*driver, open);
    }
    return error;
}

DWORD ListDriverInterfaces(std::vector<DriverInterface>* interfaces) {
    interfaces->clear();
    Driver* driver = InstalledDriver();
    if (driver == nullptr) {
        return ERROR_SUCCESS;
    }
    std::vector<InterfaceEntry> entries;
    const DWORD error = driver->Interfaces(&entries);
    for (const InterfaceEntry& entry : entries) {
        interfaces->push_back(DriverInterface{entry.path, entry.present});
    }
    return error;
}

std::unique_ptr<DriverEvents> SubscribeToDriver() {
    Driver* driver = InstalledDriver();
    return driver != nullptr ? std::make_unique<InProcessEvents>(*driver) : nullptr;
}

namespace {

// The unit tests register for a device's notifications nowhere: as a system without them.
class RefusedEvents : public DriverEvents {
public:
    Subscription Begin() override { return Subscription::Refused; }
    bool Next(DriverEvent* /*event*/) override { return false; }
    void Answer(DWORD /*result*/) override {}
    void Cancel() override {}
};

}  // namespace

std::unique_ptr<DriverEvents> SubscribeToDevice(const std::string& /*devicePath*/) {
    return std::make_unique<RefusedEvents>();
}

InProcessDriver::InProcessDriver(const std::vector<std::string>& serveArguments) {
    std::string error;
    const std::optional<ServeOptions> options = ParseServeOptions(serveArguments, &error);
    EXPECT_TRUE(options) << error;
    const std::filesystem::path records = ServedFolder(root_.path());
    std::filesystem::create_directory(records);
    driver_ = std::make_unique<Driver>(options.value_or(ServeOptions{}), records);
    Installed& installed = TheInstalled();
    const std::lock_guard<std::mutex> lock(installed.mutex);
    EXPECT_EQ(installed.driver, nullptr) << "one in-process driver at a time";
    installed.driver = driver_.get();
}

InProcessDriver::~InProcessDriver() {
    Installed& installed = TheInstalled();
    const std::lock_guard<std::mutex> lock(installed.mutex);
    EXPECT_TRUE(installed.subscriptions.empty()) << "a registration outlives its driver";
    installed.driver = nullptr;
}

ControlResult InProcessDriver::Run(const ControlCommand& command) {
    ControlResult result = driver_->Execute(command);
    EXPECT_EQ(result.status, 0) << result.message;
    return result;
}

std::string InProcessDriver::Control(const std::vector<std::string>& arguments) {
    std::string error;
    const std::optional<ControlCommand> command = ParseControlCommand(arguments, &error);
    if (!command) {
        ADD_FAILURE() << error;
        return {};
    }
    return Run(*command).output;
}

void InProcessDriver::Append(int adapter, LogKind log, const std::vector<uint8_t>& bytes) {
    ControlCommand command;
    command.verb = Verb::Raw;
    command.adapter = static_cast<uint64_t>(adapter);
    command.log = log;
    command.text.assign(bytes.begin(), bytes.end());
    Run(command);
}

std::vector<std::string> InProcessDriver::Requests(int adapter) {
    return SplitLines(Control({"requests", std::to_string(adapter)}));
}

int InProcessDriver::Subscribers() {
    return std::stoi(Control({"subscribers"}));
}

void InProcessDriver::WaitForDelivery() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        bool delivered = true;
        {
            Installed& installed = TheInstalled();
            const std::lock_guard<std::mutex> lock(installed.mutex);
            for (InProcessEvents* events : installed.subscriptions) {
                delivered = delivered && events->Delivered();
            }
        }
        if (delivered) {
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "events not delivered";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
