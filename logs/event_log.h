// The events file of an unattended capture: one line for each thing that happened, with
// the local date and time, appended to what earlier runs wrote there (never emptied), so
// that a capture restarted after a crash of the machine keeps the story whole. Held as a
// log file is, so that no other program writes it meanwhile; written through to the disk
// when asked. Its first failure is said once and the file is then left alone: the
// capture goes on without it.
#pragma once

#include <mutex>
#include <string>

#include "base/report.h"
#include "logs/log_file.h"

// The events file of a capture whose first log is NAME: "A.LOG" gives "A-EVENTS.TXT",
// "T" gives "T-EVENTS.TXT", the stem being that of the log's pieces.
std::string EventsFileName(const std::string& name);

// Every failure and event that the run reports reaches it as an echo (EchoReports), from
// whichever thread reports it.
class EventLog : public ReportEcho {
public:
    // Opens the file for appending, created when missing; zero, said, when it cannot be.
    int Open(const std::string& name);
    // Appends "YYYY-MM-DD HH:MM:SS text" and a line feed, handed to the system at once.
    void Line(const std::string& text);
    // Writes what came through to the disk.
    void Sync();
    void Close();

    void Echo(const std::string& line) override { Line(line); }

private:
    bool Usable() const { return file_.IsOpen() && !file_.Failed(); }

    std::mutex mutex_;  // one line at a time, whichever thread reports
    LogFile file_;
};
