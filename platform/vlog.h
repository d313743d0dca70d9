// cVlog: the library's logging over log4cpp categories.
//
// Every line goes to a log4cpp category named after the class that writes it
// ("cObject", "cObjectClient", ...). The library never configures log4cpp:
// an application that wants the lines attaches an appender to the root
// category (or to a named one) and sets its priority; see the README.
//
// A level that is disabled costs one priority test and no formatting.
// Thread safety: all members may be called from any thread.
#ifndef WQX_VLOG_H
#define WQX_VLOG_H

#include <log4cpp/Category.hh>

#include "wqxexport.h"

class WQX_EXPORT cVlog {
public:
    explicit cVlog(const char* name);
    virtual ~cVlog();

    void debug(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));
    void info(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));
    void warn(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));
    void error(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));

    // The category of that name. log4cpp's lookup takes a global lock and a
    // map search, so hot paths keep the pointer (see WQX_LOG_CATEGORY in
    // the sources) instead of calling this per line.
    static log4cpp::Category* getLog(const char* name);

protected:
    // For classes made often: they look their category up once and pass it.
    explicit cVlog(log4cpp::Category& category) : cat_(&category) {}
    log4cpp::Category& category() const { return *cat_; }

private:
    log4cpp::Category* cat_;
};

#endif
