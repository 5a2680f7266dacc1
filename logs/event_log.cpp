#include "logs/event_log.h"

#include <cstdio>

#include "logs/piece_ring.h"

std::string EventsFileName(const std::string& name) {
    return name.substr(0, ExtensionStart(name)) + "-EVENTS.TXT";
}

int EventLog::Open(const std::string& name) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return file_.Append(name);
}

void EventLog::Line(const std::string& text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!Usable()) {
        return;
    }
    const std::string line = LocalDateAndTime() + " " + text + "\n";
    if (file_.Write(line.data(), line.size()) != 0) {
        file_.Flush();
    }
}

void EventLog::Sync() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (Usable()) {
        file_.Sync();
    }
}

void EventLog::Close() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (Usable()) {
        file_.Close();
    }
    file_.Abandon();
}
