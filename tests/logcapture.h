// Captures the library's log lines for the duration of a test, for the few
// checks where a line is the behaviour: a warning that is the only sign of
// a dropped input, or a step a test must wait for.
#ifndef WQX_TEST_LOGCAPTURE_H
#define WQX_TEST_LOGCAPTURE_H

#include <log4cpp/AppenderSkeleton.hh>
#include <log4cpp/Category.hh>
#include <log4cpp/Priority.hh>

#include <mutex>
#include <string>
#include <vector>

class LogCapture {
public:
    // Attaches to the root category at DEBUG; detaches when destroyed.
    LogCapture() : appender_(new Appender) {
        log4cpp::Category::getRoot().setPriority(log4cpp::Priority::DEBUG);
        log4cpp::Category::getRoot().addAppender(appender_);  // root takes ownership
    }
    ~LogCapture() {
        log4cpp::Category::getRoot().removeAppender(appender_);  // deletes it
        log4cpp::Category::getRoot().setPriority(log4cpp::Priority::WARN);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Lines logged at exactly `priority` whose text contains `fragment`;
    // with the defaults, the warnings.
    int count(const std::string& fragment = "", log4cpp::Priority::Value priority = log4cpp::Priority::WARN) const {
        std::lock_guard<std::mutex> lock(appender_->mutex);
        int n = 0;
        for (const auto& line : appender_->lines)
            n += line.first == priority && line.second.find(fragment) != std::string::npos;
        return n;
    }

private:
    struct Appender : log4cpp::AppenderSkeleton {
        Appender() : AppenderSkeleton("capture") {}
        void close() override {}
        bool requiresLayout() const override { return false; }
        void setLayout(log4cpp::Layout* layout) override { delete layout; }
        void _append(const log4cpp::LoggingEvent& event) override {
            std::lock_guard<std::mutex> lock(mutex);
            lines.emplace_back(event.priority, event.message);
        }
        std::mutex mutex;
        std::vector<std::pair<log4cpp::Priority::Value, std::string>> lines;
    };
    Appender* appender_;
};

#endif
