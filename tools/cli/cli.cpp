#include "cli.h"

#include <log4cpp/AppenderSkeleton.hh>
#include <log4cpp/Category.hh>
#include <log4cpp/OstreamAppender.hh>
#include <log4cpp/PatternLayout.hh>

#include <jansson.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace cli {

int fail(const char* cmd, int status, const char* fmt, ...) {
    std::fprintf(stderr, "wqxobj %s: ", cmd);
    va_list va;
    va_start(va, fmt);
    std::vfprintf(stderr, fmt, va);
    va_end(va);
    std::fputc('\n', stderr);
    return status;
}

void enableLogging(int verbosity) {
    if (verbosity <= 0) return;
    auto* appender = new log4cpp::OstreamAppender("stderr", &std::cerr);
    auto* layout = new log4cpp::PatternLayout;
    layout->setConversionPattern("%p %c: %m%n");
    appender->setLayout(layout);
    log4cpp::Category& root = log4cpp::Category::getRoot();
    root.addAppender(appender);
    root.setPriority(verbosity > 1 ? log4cpp::Priority::DEBUG : log4cpp::Priority::INFO);
}

bool readInput(const std::string& path, std::string& out, std::string& error) {
    const bool stdinput = path.empty() || path == "-";
    FILE* f = stdinput ? stdin : std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    char buf[4096];
    size_t n;
    out.clear();
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    const bool ok = !std::ferror(f);
    if (!stdinput) std::fclose(f);
    if (!ok) error = "cannot read " + (stdinput ? std::string("standard input") : path);
    return ok;
}

bool fromHex(const std::string& text, std::vector<unsigned char>& out) {
    out.clear();
    int high = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c) || c == ':') continue;
        if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
            high < 0) {
            ++i;
            continue;
        }
        if (!std::isxdigit(c)) return false;
        const int v = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<unsigned char>(high << 4 | v));
            high = -1;
        }
    }
    return high < 0;
}

std::string toHex(const unsigned char* data, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

std::string documentText(cObjectList& list, bool pretty) {
    char* text = cObject::getJSON(&list);
    std::string out = text ? text : "[]";
    cObject::deleteJSON(text);
    if (!pretty) return out;
    // One entry per line reads better than a fully indented tree, whose
    // single-key field objects would take three lines each.
    json_error_t err;
    json_t* doc = json_loads(out.c_str(), 0, &err);
    if (!doc || json_array_size(doc) == 0) {
        json_decref(doc);
        return out;
    }
    std::string lines = "[\n";
    for (size_t i = 0; i < json_array_size(doc); ++i) {
        char* entry = json_dumps(json_array_get(doc, i), JSON_PRESERVE_ORDER);
        lines += std::string("  ") + entry + (i + 1 < json_array_size(doc) ? ",\n" : "\n");
        std::free(entry);
    }
    json_decref(doc);
    return lines + "]";
}

namespace {

// Keeps the first warning the library logs while it is attached to a
// category: the reader reports a rejected value only that way.
class FirstWarning : public log4cpp::AppenderSkeleton {
public:
    explicit FirstWarning(log4cpp::Category& cat)
        : AppenderSkeleton("first-warning"), cat_(cat), saved_(cat.getPriority()) {
        if (cat_.getChainedPriority() < log4cpp::Priority::WARN)
            cat_.setPriority(log4cpp::Priority::WARN);
        cat_.addAppender(*this);  // not owned by the category
    }
    ~FirstWarning() override {
        cat_.removeAppender(this);
        cat_.setPriority(saved_);
    }
    void close() override {}
    bool requiresLayout() const override { return false; }
    void setLayout(log4cpp::Layout* layout) override { delete layout; }
    const std::string& text() const { return text_; }

protected:
    void _append(const log4cpp::LoggingEvent& e) override {
        if (text_.empty() && e.priority <= log4cpp::Priority::WARN) text_ = e.message;
    }

private:
    log4cpp::Category& cat_;
    log4cpp::Priority::Value saved_;
    std::string text_;
};

}  // namespace

bool readDocument(const std::string& text, cObjectList*& list, std::string& error) {
    json_error_t err;
    json_t* doc = json_loads(text.c_str(), 0, &err);
    if (!doc) {
        error = "malformed JSON at line " + std::to_string(err.line) + ": " + err.text;
        return false;
    }
    if (!json_is_array(doc)) {
        json_decref(doc);
        error = "a JSON document is an array of [type, values] entries";
        return false;
    }
    // Message-info entries are skipped by the reader; every other entry
    // must come back as an object. The reader skips an entry of a type it
    // does not know and goes on, so the count of what it read cannot name
    // the entry: look for it here, counting entries from 1.
    size_t expected = 0, unknown = 0;
    for (size_t i = 0; i < json_array_size(doc); ++i) {
        json_t* type = json_object_get(json_array_get(json_array_get(doc, i), 0), "objectType");
        const char* name = json_is_string(type) ? json_string_value(type) : "";
        if (std::strcmp(name, "OBJ_MSG_INFO") == 0) continue;
        ++expected;
        if (!unknown && cObject::getObjectTypeForJSON(name) == cObject::OBJ_NONE) unknown = i + 1;
    }
    json_decref(doc);
    std::string warning;
    {
        FirstWarning watch(log4cpp::Category::getInstance("cObject"));
        list = cObject::parseJSON(text.c_str());
        warning = watch.text();
    }
    if (static_cast<size_t>(list->numObjects()) != expected || !warning.empty()) {
        error = !warning.empty() ? "the document was not read whole: " + warning
                : unknown        ? "entry " + std::to_string(unknown) + " has an unknown objectType"
                                 : "the document was not read whole";
        list->deleteObjects();
        delete list;
        list = nullptr;
        return false;
    }
    return true;
}

bool parseNumber(const char* text, long max, long& out) {
    if (!text || !*text || !std::isdigit(static_cast<unsigned char>(*text))) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || *end || v > max) return false;
    out = v;
    return true;
}

sigset_t blockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return set;
}

bool parseServer(const std::string& arg, std::string& host, int& port) {
    const size_t colon = arg.rfind(':');
    long p;
    if (colon == std::string::npos || colon == 0 || !parseNumber(arg.c_str() + colon + 1, 65535, p) ||
        p == 0)
        return false;
    host = arg.substr(0, colon);
    port = static_cast<int>(p);
    return true;
}

int parseOptions(const char* cmd, int argc, char** argv, const Options& own, const char* usage,
                 Common& common) {
    enum { kPretty = 0x1000 };
    std::vector<option> longOpts = own.longOpts;
    longOpts.push_back({"help", no_argument, nullptr, 'h'});
    longOpts.push_back({"verbose", no_argument, nullptr, 'v'});
    longOpts.push_back({"pretty", no_argument, nullptr, kPretty});
    longOpts.push_back({nullptr, 0, nullptr, 0});
    // No leading '+': GNU getopt then takes options after the operands too,
    // as users type them (`get ... TAG_DEV_ID=1 --pretty`). A value that
    // starts with '-' is still an operand after "--".
    const std::string shortOpts = "hv" + own.shortOpts;
    optind = 0;  // 0, not 1: glibc then forgets any earlier scan entirely
    opterr = 0;
    int opt;
    while ((opt = getopt_long(argc, argv, shortOpts.c_str(), longOpts.data(), nullptr)) != -1) {
        switch (opt) {
        case 'h': std::fputs(usage, stdout); return kHelp;
        case 'v': ++common.verbose; break;
        case kPretty:
            if (!own.printsDocuments)
                return fail(cmd, kUsage, "%s prints no JSON documents; --pretty does not apply", cmd);
            common.pretty = true;
            break;
        case '?':
        case ':':
            return fail(cmd, kUsage, "unknown option or missing value near '%s' (try --help)",
                        argv[optind - 1]);
        default:
            if (own.handle(opt, optarg) != kOk) return kUsage;
        }
    }
    enableLogging(common.verbose);
    return kOk;
}

Joiner::Result Joiner::add(const std::string& stream, VMsg* msg, std::unique_ptr<VMsg>& whole) {
    std::unique_ptr<VMsg> owned(msg);
    if (msg->isWhole()) {
        whole = std::move(owned);
        return kWhole;
    }
    auto it = pending_.begin();
    while (it != pending_.end() &&
           (it->stream != stream || it->type != msg->getType() || it->seq != msg->getSeq()))
        ++it;
    if (it != pending_.end() && it->total != msg->getSegmentTotal()) {
        giveUp(*it);
        pending_.erase(it);
        it = pending_.end();
    }
    if (it == pending_.end()) {
        pending_.push_back(Pending{stream, msg->getType(), msg->getSeq(), msg->getSegmentTotal(),
                                   std::unique_ptr<VMsgAssembly>(new VMsgAssembly(kMessageLimit, nullptr))});
        it = pending_.end() - 1;
    }
    switch (it->parts->add(owned.release())) {
    case VMsgAssembly::ASM_WHOLE:
        whole.reset(it->parts->take());
        pending_.erase(it);
        return kWhole;
    case VMsgAssembly::ASM_TOO_LARGE:
        pending_.erase(it);
        return kTooLarge;
    default: return kKept;  // a part kept, or a copy of one skipped
    }
}

bool Joiner::finish(const char* command) {
    for (const Pending& p : pending_) giveUp(p);
    pending_.clear();
    if (!incomplete_) return true;
    fail(command, kFailed, "%u message%s not whole (first: %s)", incomplete_, incomplete_ == 1 ? "" : "s",
         firstIncomplete_.c_str());
    return false;
}

void Joiner::giveUp(const Pending& p) {
    if (incomplete_++ == 0) {
        char what[96];
        std::snprintf(what, sizeof what, "type %u sequence %u, %u of its %u segments", p.type, p.seq,
                      static_cast<unsigned>(p.parts->getReceived()), p.total);
        firstIncomplete_ = (p.stream.empty() ? "" : p.stream + " ") + what;
    }
}

std::string versionText() {
    // The first line is "program (package) version", as help2man reads it.
    return std::string("wqxobj (libwqxobj) ") + WQX_VERSION + "\nwire format version " +
           std::to_string(static_cast<unsigned>(VMsg::kWireVersion)) + "\n";
}

}  // namespace cli
