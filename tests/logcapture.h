// Captures the library's log lines for the duration of a test, for the few
// checks where a line is the behaviour: a warning that is the only sign of
// a dropped input, or a step a test must wait for.
#ifndef WQX_TEST_LOGCAPTURE_H
#define WQX_TEST_LOGCAPTURE_H

#include <log4cpp/Priority.hh>

#include <mutex>
#include <string>
#include <vector>

struct LogLine {
    std::string category;
    log4cpp::Priority::Value priority;
    std::string message;
};

class LogCapture {
public:
    // Attaches to the root category at DEBUG; detaches when destroyed.
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogLine> lines() const;
    // Whether a line with exactly this message was logged.
    bool has(const std::string& message) const;
    // Lines logged at WARN or worse.
    int warnings() const;

    class Appender;

private:
    Appender* appender_;
};

#endif
