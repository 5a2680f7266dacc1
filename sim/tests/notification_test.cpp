// CM_Register_Notification of the platform layer against a running simulator: interface
// arrivals and removals, and a device's notifications around a removal that asks first.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "adapter/vekdiag_protocol.h"
#include "tests/support/simulator.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t LONGEST_PATH = 32767;  // UTF-16 units

struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> events;  // "+path" for arrivals, "-path" for removals
    std::vector<std::wstring> links;  // as the callback got them
    std::string badRecord;
    std::chrono::milliseconds delay{0};
    std::atomic<bool> inCallback{false};
    bool unregisterSelf = false;
    CONFIGRET selfResult = CR_FAILURE;

    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 20s, [&] { return events.size() >= count; });
    }
    size_t Count() {
        const std::lock_guard<std::mutex> lock(mutex);
        return events.size();
    }
};

DWORD CALLBACK Record(HCMNOTIFICATION handle, PVOID context, CM_NOTIFY_ACTION action,
                      PCM_NOTIFY_EVENT_DATA data, DWORD size) {
    auto& recorder = *static_cast<Recorder*>(context);
    recorder.inCallback = true;
    std::this_thread::sleep_for(recorder.delay);
    const WCHAR* link = data->u.DeviceInterface.SymbolicLink;
    std::string path;
    for (size_t i = 0; link[i] != 0; ++i) {
        path.push_back(static_cast<char>(link[i]));
    }
    const std::lock_guard<std::mutex> lock(recorder.mutex);
    recorder.links.emplace_back(link);
    if (data->FilterType != CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE || data->Reserved != 0 ||
        std::memcmp(&data->u.DeviceInterface.ClassGuid, &GUID_DEVINTERFACE_VEKDIAG, sizeof(GUID)) !=
            0 ||
        size != 24 + (path.size() + 1) * sizeof(WCHAR)) {
        recorder.badRecord = path;
    }
    recorder.events.push_back((action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL ? "+" : "-") +
                              path);
    if (recorder.unregisterSelf) {
        recorder.selfResult = CM_Unregister_Notification(handle);
    }
    recorder.inCallback = false;
    recorder.changed.notify_all();
    return ERROR_SUCCESS;
}

CM_NOTIFY_FILTER Filter(DWORD flags = 0, const GUID& guid = GUID_DEVINTERFACE_VEKDIAG) {
    CM_NOTIFY_FILTER filter;
    std::memset(&filter, 0, sizeof filter);
    filter.cbSize = sizeof filter;
    filter.Flags = flags;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    filter.u.DeviceInterface.ClassGuid = guid;
    return filter;
}

HCMNOTIFICATION Register(Recorder& recorder, CM_NOTIFY_FILTER filter = Filter()) {
    HCMNOTIFICATION handle = nullptr;
    EXPECT_EQ(CM_Register_Notification(&filter, &recorder, Record, &handle), CR_SUCCESS);
    return handle;
}

TEST(Notification, RegistrationRules) {
    Simulator none{Simulator::NoServer{}};
    Recorder recorder;
    HCMNOTIFICATION handle = nullptr;
    CM_NOTIFY_FILTER filter = Filter();
    EXPECT_EQ(CM_Register_Notification(nullptr, &recorder, Record, &handle), CR_INVALID_POINTER);
    EXPECT_EQ(CM_Register_Notification(&filter, &recorder, nullptr, &handle), CR_INVALID_POINTER);
    EXPECT_EQ(CM_Register_Notification(&filter, &recorder, Record, nullptr), CR_INVALID_POINTER);
    filter.cbSize = 415;
    EXPECT_EQ(CM_Register_Notification(&filter, &recorder, Record, &handle),
              CR_INVALID_STRUCTURE_SIZE);
    filter = Filter();
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_MAX;
    EXPECT_EQ(CM_Register_Notification(&filter, &recorder, Record, &handle), CR_INVALID_DATA);
    // A device's notifications want a channel handle of the layer.
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEHANDLE;
    for (const HANDLE target : {HANDLE{}, INVALID_HANDLE_VALUE, GetStdHandle(STD_ERROR_HANDLE)}) {
        filter.u.DeviceHandle.hTarget = target;
        EXPECT_EQ(CM_Register_Notification(&filter, &recorder, Record, &handle), CR_INVALID_DATA);
    }
    // Every interface class at once (flag 1) is not part of the layer, nor any other flag.
    for (const DWORD flags : {1u, 2u}) {
        filter = Filter(flags);
        EXPECT_EQ(CM_Register_Notification(&filter, &recorder, Record, &handle), CR_INVALID_FLAG);
    }
    EXPECT_EQ(handle, nullptr);

    // Without a server it stands, quietly.
    handle = Register(recorder);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(CM_Unregister_Notification(handle), CR_SUCCESS);
    EXPECT_NE(CM_Unregister_Notification(handle), CR_SUCCESS);
    EXPECT_NE(CM_Unregister_Notification(reinterpret_cast<HCMNOTIFICATION>(&recorder)), CR_SUCCESS);
}

HANDLE OpenChannel(const std::string& devicePath, const char* channel) {
    return CreateFileA((devicePath + "\\" + channel).c_str(), GENERIC_READ, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

CM_NOTIFY_FILTER HandleFilter(HANDLE target) {
    CM_NOTIFY_FILTER filter = Filter();
    std::memset(&filter.u, 0, sizeof filter.u);
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEHANDLE;
    filter.u.DeviceHandle.hTarget = target;
    return filter;
}

// A simulator that refuses registrations plays a system without notifications;
// registrations made while it refuses fail, for arrivals and for a device alike, those
// made before go on.
TEST(Notification, RefusedRegistrationIsNotImplemented) {
    Simulator server({"--no-adapter"});
    Recorder before, refused;
    HCMNOTIFICATION handle = Register(before);
    std::string path = server.Control({"add", "0:1"});
    path.pop_back();
    const HANDLE channel = OpenChannel(path, "VekDiagTextLog");
    ASSERT_NE(channel, INVALID_HANDLE_VALUE);
    server.Control({"pnp", "refuse-registration"});
    for (CM_NOTIFY_FILTER filter : {Filter(), HandleFilter(channel)}) {
        HCMNOTIFICATION none = nullptr;
        EXPECT_EQ(CM_Register_Notification(&filter, &refused, Record, &none),
                  CR_CALL_NOT_IMPLEMENTED);
        EXPECT_EQ(none, nullptr);
    }
    EXPECT_TRUE(CloseHandle(channel));
    EXPECT_EQ(server.Control({"subscribers"}), "1\n");
    ASSERT_TRUE(before.WaitFor(1));
    EXPECT_EQ(CM_Unregister_Notification(handle), CR_SUCCESS);
}

TEST(Notification, BurstOfArrivalsThenARemovalInOrder) {
    Simulator server({"--no-adapter"});
    Recorder mine, otherClass;
    HCMNOTIFICATION handles[] = {Register(mine),
                                 Register(otherClass, Filter(0, GUID{1, 2, 3, {4}}))};
    std::vector<std::string> expected;
    for (int i = 0; i < 100; ++i) {
        std::string path = server.Control({"add", std::to_string(i) + ":1"});
        path.pop_back();
        expected.push_back("+" + path);
    }
    server.Control({"remove", "0"});
    expected.push_back("-" + expected[0].substr(1));
    ASSERT_TRUE(mine.WaitFor(101));
    EXPECT_EQ(mine.events, expected);
    EXPECT_EQ(mine.badRecord, "");
    EXPECT_EQ(otherClass.Count(), 0u);
    for (HCMNOTIFICATION handle : handles) {
        EXPECT_EQ(CM_Unregister_Notification(handle), CR_SUCCESS);
    }
}

TEST(Notification, UnregisterWaitsForTheCallbackInProgressAndEndsDelivery) {
    Simulator server;
    Recorder recorder;
    recorder.delay = 300ms;
    HCMNOTIFICATION handle = Register(recorder);
    server.Control({"add", "1:1"});
    server.Control({"add", "2:1"});
    while (!recorder.inCallback) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(CM_Unregister_Notification(handle), CR_SUCCESS);
    // The first callback had finished; the second never started.
    EXPECT_FALSE(recorder.inCallback);
    EXPECT_EQ(recorder.Count(), 1u);
    server.Control({"add", "3:1"});
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder.Count(), 1u);
}

TEST(Notification, UnregisterFromItsOwnCallbackDoesNotHang) {
    Simulator server;
    Recorder recorder;
    recorder.unregisterSelf = true;
    Register(recorder);
    server.Control({"add", "1:1"});
    ASSERT_TRUE(recorder.WaitFor(1));
    server.Control({"add", "2:1"});
    std::this_thread::sleep_for(200ms);
    const std::lock_guard<std::mutex> lock(recorder.mutex);
    EXPECT_EQ(recorder.selfResult, CR_SUCCESS);
    EXPECT_EQ(recorder.events.size(), 1u);
}

// Waits until the running simulator has n subscriptions.
bool WaitForSubscribers(Simulator& server, int n) {
    const std::string wanted = std::to_string(n) + "\n";
    for (int i = 0; i < 1000; ++i) {
        if (server.TryControl({"subscribers"}).out == wanted) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(Notification, DeliveryResumesWhenTheSimulatorComesBack) {
    Simulator server;
    Recorder recorder;
    HCMNOTIFICATION handle = Register(recorder);
    ASSERT_TRUE(WaitForSubscribers(server, 1));
    server.Kill();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(recorder.Count(), 0u);
    server.Restart({"--no-adapter"});
    ASSERT_TRUE(WaitForSubscribers(server, 1));
    std::string path = server.Control({"add", "1:1"});
    path.pop_back();
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.events, std::vector<std::string>{"+" + path});
    EXPECT_NE(path.find("#0001#"), std::string::npos) << path;  // instance 0 is not used again
    EXPECT_EQ(CM_Unregister_Notification(handle), CR_SUCCESS);
}

TEST(Notification, RegistrationWaitsForASimulatorAndUnregistersMeanwhile) {
    Simulator server{Simulator::NoServer{}};
    Recorder early;
    HCMNOTIFICATION waiting = Register(early);
    Recorder quick;
    HCMNOTIFICATION gone = Register(quick);
    std::this_thread::sleep_for(300ms);  // well into the longest backoff
    EXPECT_EQ(CM_Unregister_Notification(gone), CR_SUCCESS);

    server.Restart({"--no-adapter"});
    ASSERT_TRUE(WaitForSubscribers(server, 1));
    server.Control({"add", "0:1"});
    ASSERT_TRUE(early.WaitFor(1));
    EXPECT_EQ(quick.Count(), 0u);
    EXPECT_EQ(CM_Unregister_Notification(waiting), CR_SUCCESS);
}

// A path of the longest length, with characters outside ASCII and outside the BMP:
// the callback gets it decoded to wide characters.
TEST(Notification, PathOfItsOwnArrivesAsWideCharacters) {
    Simulator server({"--no-adapter"});
    Recorder recorder;
    HCMNOTIFICATION handle = Register(recorder);
    const std::string head = "\\\\?\\caf\xC3\xA9#\xF0\x9F\x8E\xB5#";  // 12 UTF-16 units
    const std::wstring wideHead = L"\\\\?\\caf\u00E9#\U0001F3B5#";
    const size_t fill = LONGEST_PATH - 12;
    const std::string path = head + std::string(fill, 'x');
    server.Control({"add", "0:1", "--path", path});
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_TRUE(recorder.links.at(0) == wideHead + std::wstring(fill, L'x'));
    EXPECT_EQ(recorder.badRecord, "");
    EXPECT_EQ(server.TryControl({"add", "0:1", "--path", path + "x"}).status,
              2);  // one unit too long
    EXPECT_EQ(CM_Unregister_Notification(handle), CR_SUCCESS);
}

std::string Read(HANDLE channel) {
    std::string out(4096, '\0');
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(channel, IOCTL_DIAG_READ_LOG, nullptr, 0, out.data(),
                                static_cast<DWORD>(out.size()), &returned, nullptr));
    out.resize(returned);
    return out;
}

// A program registered for an adapter's notifications through a handle to one of its
// channels: on a query it reads once more from that handle (the driver answers while it
// asks), closes it and answers as told.
struct DeviceProgram {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<CM_NOTIFY_ACTION> actions;
    HANDLE channel = INVALID_HANDLE_VALUE;
    DWORD answer = ERROR_SUCCESS;
    bool badRecord = false;
    std::string readOnQuery;

    // The actions once there are count of them (fewer after 20 s).
    std::vector<CM_NOTIFY_ACTION> Seen(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, 20s, [&] { return actions.size() >= count; });
        return actions;
    }
    void Answer(DWORD result) {
        const std::lock_guard<std::mutex> lock(mutex);
        answer = result;
    }
};

DWORD CALLBACK OnDevice(HCMNOTIFICATION /*handle*/, PVOID context, CM_NOTIFY_ACTION action,
                        PCM_NOTIFY_EVENT_DATA data, DWORD size) {
    auto& program = *static_cast<DeviceProgram*>(context);
    const std::lock_guard<std::mutex> lock(program.mutex);
    program.badRecord = program.badRecord ||
                        data->FilterType != CM_NOTIFY_FILTER_TYPE_DEVICEHANDLE ||
                        size < offsetof(CM_NOTIFY_EVENT_DATA, u.DeviceHandle.Data);
    if (action == CM_NOTIFY_ACTION_DEVICEQUERYREMOVE && program.channel != INVALID_HANDLE_VALUE) {
        program.readOnQuery = Read(program.channel);
        CloseHandle(program.channel);
        program.channel = INVALID_HANDLE_VALUE;
    }
    program.actions.push_back(action);
    program.changed.notify_all();
    return action == CM_NOTIFY_ACTION_DEVICEQUERYREMOVE ? program.answer : ERROR_SUCCESS;
}

HCMNOTIFICATION RegisterDevice(DeviceProgram& program) {
    CM_NOTIFY_FILTER filter = HandleFilter(program.channel);
    HCMNOTIFICATION handle = nullptr;
    EXPECT_EQ(CM_Register_Notification(&filter, &program, OnDevice, &handle), CR_SUCCESS);
    return handle;
}

// The registrant closes its handle on the query and allows: the adapter goes (its
// interface's removal, the device's removal complete) and comes back at once as itself,
// with what it had not served yet, its read size and its served record going on.
TEST(Notification, RestartAskedFirstGoesAheadWhenTheHandlesAreClosed) {
    Simulator server({"--no-adapter"});
    server.Control({"add", "0:1"});
    std::string path = server.Control({"add", "1:1"});
    path.pop_back();
    server.Control({"text", "1", "abcde"});
    server.Control({"readsize", "1", "2"});
    Recorder interfaces;
    const HCMNOTIFICATION arrivals = Register(interfaces);
    DeviceProgram program;
    program.channel = OpenChannel(path, "VekDiagTextLog");
    ASSERT_NE(program.channel, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Read(program.channel), "ab");
    const HCMNOTIFICATION device = RegisterDevice(program);
    const std::string instance = server.Control({"instance", "1"});

    const ProcessResult restart = server.TryControl({"restart", "1"});
    EXPECT_EQ(restart.status, 0) << restart.err;
    EXPECT_EQ(program.Seen(2),
              (std::vector<CM_NOTIFY_ACTION>{CM_NOTIFY_ACTION_DEVICEQUERYREMOVE,
                                             CM_NOTIFY_ACTION_DEVICEREMOVECOMPLETE}));
    {
        const std::lock_guard<std::mutex> lock(program.mutex);
        EXPECT_FALSE(program.badRecord);
        EXPECT_EQ(program.readOnQuery, "cd");
    }
    ASSERT_TRUE(interfaces.WaitFor(2));
    EXPECT_EQ(interfaces.events, (std::vector<std::string>{"-" + path, "+" + path}));
    const std::vector<std::string> requests = server.Requests(1);
    ASSERT_GE(requests.size(), 5u);
    EXPECT_EQ(requests[requests.size() - 5], "query-remove");
    EXPECT_EQ(std::vector<std::string>(requests.end() - 3, requests.end()),
              (std::vector<std::string>{"close VekDiagTextLog", "query-remove answered 0",
                                        "query-remove allowed"}));
    // Unregistering after the handle was closed is as any unregistering.
    EXPECT_EQ(CM_Unregister_Notification(device), CR_SUCCESS);
    EXPECT_EQ(CM_Unregister_Notification(arrivals), CR_SUCCESS);

    EXPECT_EQ(server.Control({"instance", "1"}), instance);
    const HANDLE again = OpenChannel(path, "VekDiagTextLog");
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Read(again), "e");
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_EQ(server.Served(1, "text"), "abcde");
}

// A veto of a registrant, or a handle that another program keeps open, keeps the adapter:
// the command says so and fails, and those asked hear that the removal failed.
TEST(Notification, AVetoOrAHandleLeftOpenKeepsTheAdapter) {
    Simulator server({"--no-adapter"});
    std::string path = server.Control({"add", "0:1"});
    path.pop_back();
    DeviceProgram program;
    program.channel = OpenChannel(path, "VekDiagTextLog");
    ASSERT_NE(program.channel, INVALID_HANDLE_VALUE);
    program.Answer(ERROR_CANCELLED);
    const HCMNOTIFICATION device = RegisterDevice(program);

    ProcessResult vetoed = server.TryControl({"restart", "0"});
    EXPECT_EQ(vetoed.status, 1);
    EXPECT_EQ(vetoed.err,
              "vekdiag-sim: the removal of adapter 0 was vetoed by a registered program (answer "
              "1223)\n");
    EXPECT_EQ(program.Seen(2),
              (std::vector<CM_NOTIFY_ACTION>{CM_NOTIFY_ACTION_DEVICEQUERYREMOVE,
                                             CM_NOTIFY_ACTION_DEVICEQUERYREMOVEFAILED}));

    program.Answer(ERROR_SUCCESS);
    server.Control({"hold", "0", "timing"});
    vetoed = server.TryControl({"remove", "0", "--query"});
    EXPECT_EQ(vetoed.status, 1);
    EXPECT_EQ(vetoed.err,
              "vekdiag-sim: the removal of adapter 0 was vetoed: 1 handle still open on " + path +
                  "\\VekDiagTimingLog\n");
    EXPECT_EQ(program.Seen(4).back(), CM_NOTIFY_ACTION_DEVICEQUERYREMOVEFAILED);
    EXPECT_EQ(server.Control({"instance", "0"}), "0\n");  // still present

    server.Control({"release", "0"});
    EXPECT_EQ(server.TryControl({"remove", "0", "--query"}).status, 0);
    EXPECT_EQ(program.Seen(6).back(), CM_NOTIFY_ACTION_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(server.TryControl({"instance", "0"}).status, 1);
    EXPECT_EQ(CM_Unregister_Notification(device), CR_SUCCESS);
}

}  // namespace
