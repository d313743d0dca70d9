#include "logcapture.h"

#include <log4cpp/AppenderSkeleton.hh>
#include <log4cpp/Category.hh>

#include <algorithm>

class LogCapture::Appender : public log4cpp::AppenderSkeleton {
public:
    Appender() : AppenderSkeleton("capture") {}
    void close() override {}
    bool requiresLayout() const override { return false; }
    void setLayout(log4cpp::Layout* layout) override { delete layout; }

    std::vector<LogLine> snapshot() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

protected:
    void _append(const log4cpp::LoggingEvent& event) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back({event.categoryName, event.priority, event.message});
    }

private:
    mutable std::mutex mutex_;
    std::vector<LogLine> lines_;
};

LogCapture::LogCapture() : appender_(new Appender) {
    log4cpp::Category& root = log4cpp::Category::getRoot();
    root.setPriority(log4cpp::Priority::DEBUG);
    root.addAppender(appender_);  // root takes ownership
}

LogCapture::~LogCapture() {
    log4cpp::Category& root = log4cpp::Category::getRoot();
    root.removeAppender(appender_);  // deletes it
    root.setPriority(log4cpp::Priority::WARN);
}

std::vector<LogLine> LogCapture::lines() const { return appender_->snapshot(); }

bool LogCapture::has(const std::string& message) const {
    const auto all = lines();
    return std::any_of(all.begin(), all.end(), [&](const LogLine& l) { return l.message == message; });
}

int LogCapture::warnings() const {
    const auto all = lines();
    return static_cast<int>(std::count_if(all.begin(), all.end(), [](const LogLine& l) {
        return l.priority <= log4cpp::Priority::WARN;
    }));
}
