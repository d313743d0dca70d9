#include "vlog.h"

#include <cstdarg>

cVlog::cVlog(const char* name) : cat_(getLog(name)) {}

cVlog::~cVlog() = default;

log4cpp::Category* cVlog::getLog(const char* name) {
    return &log4cpp::Category::getInstance(name ? name : "");
}

// log4cpp's printf-style members have no va_list form, so the level test is
// done here and the line goes out through logva, which formats only when the
// level is enabled.
#define WQX_VLOG_LEVEL(method, prio)                       \
    void cVlog::method(const char* fmt, ...) const {       \
        if (!cat_->isPriorityEnabled(prio)) return;        \
        va_list va;                                        \
        va_start(va, fmt);                                 \
        cat_->logva(prio, fmt, va);                        \
        va_end(va);                                        \
    }

WQX_VLOG_LEVEL(debug, log4cpp::Priority::DEBUG)
WQX_VLOG_LEVEL(info, log4cpp::Priority::INFO)
WQX_VLOG_LEVEL(warn, log4cpp::Priority::WARN)
WQX_VLOG_LEVEL(error, log4cpp::Priority::ERROR)

#undef WQX_VLOG_LEVEL
