// The pieces the field table engine (fieldtable.h) is built from: the
// not-set conventions, enum code tables, owned texts, a tag's whole text,
// and the JSON field array written and read one element at a time. Not
// installed; not exported.
#ifndef WQX_OBJECTFIELDS_H
#define WQX_OBJECTFIELDS_H

#include <jansson.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "taglist.h"
#include "velmor.h"
#include "vlog.h"

// Defines a function returning the log4cpp category of that name, looked up
// once: log4cpp's own lookup takes a global lock.
#define WQX_LOG_CATEGORY(fn, name)                                     \
    static log4cpp::Category& fn() {                                   \
        static log4cpp::Category* const cat = cVlog::getLog(name);     \
        return *cat;                                                   \
    }

namespace wqx {

const unsigned int kNotSet32 = 0xFFFFFFFFu;

inline float notSetFloat() { return std::numeric_limits<float>::quiet_NaN(); }
inline bool isSet(float f) { return !std::isnan(f); }
inline bool isSet(unsigned int v) { return v != kNotSet32; }

// The category "cObject", where every JSON parse and the list conversions log.
log4cpp::Category& objectLog();

// A JSON real as a float. Beyond the float range it gives the infinity of
// its sign, as the hardware would, where a plain cast is undefined.
float narrowToFloat(double value);

// ---- owned texts ----

// Stores a fresh copy of text and frees the old array (null clears). The
// copy is made first, so handing a field its own current text is safe.
void setText(char*& field, const char* text);

// ---- enum code tables ----

// One stored enum value and the code it travels as, in tags and JSON.
struct CodePair {
    int value;
    int code;
};

// The code of a stored value, or -1 when it has none (not set, or outside
// the table).
inline int codeOf(const CodePair* table, std::size_t n, int value) {
    for (std::size_t i = 0; i < n; ++i)
        if (table[i].value == value) return table[i].code;
    return -1;
}
template <std::size_t N>
int codeOf(const CodePair (&table)[N], int value) {
    return codeOf(table, N, value);
}

// The value for an incoming code, or fallback when the code is unknown.
inline int valueOf(const CodePair* table, std::size_t n, int code, int fallback) {
    for (std::size_t i = 0; i < n; ++i)
        if (table[i].code == code) return table[i].value;
    return fallback;
}
template <std::size_t N>
int valueOf(const CodePair (&table)[N], int code, int fallback) {
    return valueOf(table, N, code, fallback);
}

// Operational state 1, 2, 3 travels as 0, 1, 2 in every class that has one.
extern const CodePair kOpStateCodes[3];

// ---- tag form ----

// A text field read from a tag, whole. Most texts are short labels and
// fit the inline buffer (so do numbers a class is handed instead of text);
// a longer text or bytes value gets an exact heap block, so that a text of
// any length that reached us comes back out of the object unchanged.
class TagText {
public:
    explicit TagText(VTag* tag) : heap_(nullptr) {
        inline_[0] = '\0';
        const bool sized = tag && (tag->getType() == VTAG_STRING || tag->getType() == VTAG_BYTES);
        if (!sized || tag->getLength() < sizeof inline_) {
            cTagList::getString(tag, inline_, sizeof inline_);
            return;
        }
        const std::size_t n = tag->getLength();
        heap_ = new char[n + 1];
        if (tag->getType() == VTAG_STRING)
            std::memcpy(heap_, static_cast<VTagString*>(tag)->text().data(), n);
        else
            static_cast<VTagBytes*>(tag)->getValue(heap_, static_cast<unsigned short>(n));
        heap_[n] = '\0';
    }
    ~TagText() { delete[] heap_; }
    TagText(const TagText&) = delete;
    TagText& operator=(const TagText&) = delete;
    const char* c_str() const { return heap_ ? heap_ : inline_; }

private:
    char inline_[256];
    char* heap_;
};

// ---- JSON form: writing ----

// Builds a class's field array, one single-key object (or an empty one)
// per element, in the order the calls are made.
class JsonFields {
public:
    JsonFields() : array_(json_array()), joinNext_(false) {}
    ~JsonFields() { json_decref(array_); }
    JsonFields(const JsonFields&) = delete;
    JsonFields& operator=(const JsonFields&) = delete;

    // Packed as a signed 32-bit integer, so not-set 0xFFFFFFFF is -1.
    JsonFields& integer(const char* key, unsigned int value);
    // Written only when set; otherwise an empty object.
    JsonFields& integerIf(const char* key, bool set, int value);
    JsonFields& text(const char* key, const char* text);  // empty when null
    JsonFields& real(const char* key, float value);        // empty unless finite
    JsonFields& boolean(const char* key, bool value);
    JsonFields& empty();
    // Puts the next field into the element written last instead of a new
    // one, for arrays whose element carries two keys. A field that writes
    // nothing leaves that element as it was.
    JsonFields& join() {
        joinNext_ = true;
        return *this;
    }

    template <std::size_t N>
    JsonFields& code(const char* key, const CodePair (&table)[N], int value) {
        const int c = codeOf(table, value);
        return integerIf(key, c >= 0, c);
    }

    // Hands the array over to the caller.
    json_t* release() {
        json_t* a = array_;
        array_ = nullptr;
        return a;
    }

private:
    JsonFields& append(json_t* element);
    json_t* array_;
    bool joinNext_;
};

// ---- JSON form: reading ----

// The three log texts of a class's JSON parse; a null text is not logged.
struct JsonParseTexts {
    const char* notArray;   // warning: argument not an array
    const char* arraySize;  // debug, with the element count
    const char* notObject;  // warning: element not an object
};

// One element of a field array. Each reader looks its key up: absent, it
// does nothing; of the expected JSON type, it stores; of another type, it
// logs the warning and returns false so the parse stops.
class JsonElement {
public:
    explicit JsonElement(json_t* object);

    template <class F>
    bool integer(const char* key, const char* warning, F store) const {
        json_t* v = get(key);
        if (!v) return true;
        if (!json_is_integer(v)) return rejected(warning);
        store(json_integer_value(v));
        return true;
    }
    template <class F>
    bool text(const char* key, const char* warning, F store) const {
        json_t* v = get(key);
        if (!v) return true;
        if (!json_is_string(v)) return rejected(warning);
        store(json_string_value(v));
        return true;
    }
    template <class F>
    bool real(const char* key, const char* warning, F store) const {
        json_t* v = get(key);
        if (!v) return true;
        if (!json_is_real(v)) return rejected(warning);
        store(json_real_value(v));
        return true;
    }
    template <class F>
    bool boolean(const char* key, const char* warning, F store) const {
        json_t* v = get(key);
        if (!v) return true;
        if (!json_is_boolean(v)) return rejected(warning);
        store(json_is_true(v));
        return true;
    }

private:
    // What json_object_get(object_, key) gives. Field arrays hold one key
    // per element and every class looks up each of its keys in each
    // element, so a one-key element (or an empty one) answers by comparing
    // its key instead of hashing the asked one; the answer is the same.
    json_t* get(const char* key) const {
        if (keys_ > 1) return json_object_get(object_, key);
        return keys_ == 1 && std::strlen(key) == onlyKeyLen_ &&
                       std::memcmp(key, onlyKey_, onlyKeyLen_) == 0
                   ? onlyValue_
                   : nullptr;
    }

    static bool rejected(const char* warning);
    json_t* object_;
    std::size_t keys_;
    const char* onlyKey_;
    std::size_t onlyKeyLen_;
    json_t* onlyValue_;
};

// Runs the common steps of a JSON parse: the array test, the size line,
// skipping elements that are not objects, and perElement on each object
// until it returns false. afterEach runs after every element that did not
// stop the parse, skipped ones included.
template <class F, class G>
bool parseJsonFields(json_t* array, const JsonParseTexts& texts, F perElement, G afterEach) {
    if (!array || !json_is_array(array)) {
        if (texts.notArray) objectLog().warn("%s", texts.notArray);
        return false;
    }
    const std::size_t n = json_array_size(array);
    if (texts.arraySize) objectLog().debug(texts.arraySize, static_cast<int>(n));
    for (std::size_t i = 0; i < n; ++i) {
        json_t* element = json_array_get(array, i);
        if (!element || !json_is_object(element)) {
            if (texts.notObject) objectLog().warn("%s", texts.notObject);
        } else if (!perElement(JsonElement(element))) {
            return false;
        }
        afterEach();
    }
    return true;
}


}  // namespace wqx

#endif
