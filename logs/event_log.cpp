#include "logs/event_log.h"

#include <cstdio>

#include "logs/piece_ring.h"
#include "platform/win32.h"

std::string LocalDateAndTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[64];  // room for any WORD values, though a date never needs it
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{now.wYear},
                  unsigned{now.wMonth}, unsigned{now.wDay}, unsigned{now.wHour},
                  unsigned{now.wMinute}, unsigned{now.wSecond});
    return text;
}

std::string EventsFileName(const std::string& name) {
    return name.substr(0, ExtensionStart(name)) + "-EVENTS.TXT";
}

int EventLog::Open(const std::string& name) {
    return file_.Append(name);
}

void EventLog::Line(const std::string& text) {
    if (!IsOpen()) {
        return;
    }
    const std::string line = LocalDateAndTime() + " " + text + "\n";
    if (file_.Write(line.data(), line.size()) != 0) {
        file_.Flush();
    }
}

void EventLog::Sync() {
    if (IsOpen()) {
        file_.Sync();
    }
}

void EventLog::Close() {
    if (IsOpen()) {
        file_.Close();
    }
    file_.Abandon();
}
