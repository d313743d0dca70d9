// The direct message path: objects written straight into a message's bytes
// and read straight from them, by steps planned from each class's rows
// when its table is built. Values whose type differs from the one a step
// takes go through populate and cTagList, the one definition of the
// conversions; so the bytes and the objects are exactly what the tag
// object route gives.
#include "fieldbytes.h"
#include "fieldtable.h"

namespace wqx {

namespace {

unsigned char widthOf(unsigned char type) {
    return type == VTAG_UINT32 || type == VTAG_FLOAT ? 4 : type == VTAG_UINT16 ? 2 : type == VTAG_UINT8;
}

// The step that writes a row straight into a message's bytes; false when
// the row's value needs cTagList's conversions to become its tag.
bool stepFor(const Field& f, WireStep& s) {
    const unsigned char w = f.wireType;
    const bool integer = w == VTAG_UINT32 || w == VTAG_UINT16 || w == VTAG_UINT8;
    s = WireStep{WireStep::INT, WireStep::IF_SET, f.tag, widthOf(w), {}, f.at, 0xFFFFFFFFu, &f, nullptr};
    putHead(s.head, f.tag, w, s.width);
    switch (f.kind) {
    case Kind::U32:
        s.when = (f.flags & IF_NONZERO) ? WireStep::IF_NOT_ZERO
                 : (f.flags & ALWAYS)   ? WireStep::ALWAYS_SENT
                                        : WireStep::IF_SET;
        if (f.flags & LOW8) s.mask = 0xFF;
        if (s.when == WireStep::IF_SET && s.width == 4 && s.mask == 0xFFFFFFFFu) s.op = WireStep::U32;
        return integer;
    case Kind::CODE:
        s.op = s.width == 1 ? WireStep::CODE8 : WireStep::CODE;
        return integer && f.mapAt >= 0;
    case Kind::NONE: s.op = WireStep::CONST; return integer;
    case Kind::REAL: s.op = WireStep::REAL; return w == VTAG_FLOAT;
    case Kind::TEXT: s.op = WireStep::TEXT; return w == VTAG_STRING;
    case Kind::BOOL: s.op = WireStep::FLAG; return w == VTAG_NONE;
    }
    return false;
}

// The most texts a directly written table may have: their lengths are
// measured once, into an array of this size on the encoder's stack.
const std::size_t kMaxSentTexts = 16;

void planDirectWrite(ObjectTable& t) {
    t.direct = t.wireCodeType == VTAG_NONE;
    t.fixedBytes = 4;
    for (const Field& f : t.fields) {
        if (!f.tag || (f.flags & NO_TAG_WRITE)) continue;
        WireStep step;
        t.direct = t.direct && stepFor(f, step);
        if ((step.op == WireStep::CODE || step.op == WireStep::CODE8) && f.mapAt >= 0)
            step.codeOfValue = t.maps.data() + f.mapAt;
        t.fixedBytes += 4u + step.width;
        if (step.op == WireStep::TEXT) t.sentTexts.push_back(step.at);
        t.steps.push_back(step);
    }
    if (!t.direct || t.sentTexts.size() > kMaxSentTexts) {
        t.direct = false;
        t.steps.clear();
        t.sentTexts.clear();
    }
}

const int kValueRange = 16;  // enum values a code map covers: 0 to 15

// A code row's tag code table as two maps: the code of each value 0 to 15,
// then the value of each code byte. A row whose table has a value outside
// 0 to 15 or a code above 127 is written and read through its row.
void planCodeMaps(ObjectTable& t) {
    for (Field& f : t.fields) {
        f.mapAt = -1;
        if (f.kind != Kind::CODE || !f.codes) continue;
        bool small = true;
        for (unsigned i = 0; i < f.nCodes; ++i)
            small = small && f.codes[i].value >= 0 && f.codes[i].value < kValueRange &&
                    f.codes[i].code >= 0 && f.codes[i].code < 128;
        if (!small) continue;
        f.mapAt = static_cast<int>(t.maps.size());
        t.maps.resize(t.maps.size() + kValueRange + 256, -1);
        signed char* m = t.maps.data() + f.mapAt;
        for (unsigned i = f.nCodes; i-- > 0;) {  // the first pair of a value or code wins
            m[f.codes[i].value] = static_cast<signed char>(f.codes[i].code);
            m[kValueRange + f.codes[i].code] = static_cast<signed char>(f.codes[i].value);
        }
    }
}

// The fast read of each tag number: a row without a hook or an odd way of
// reading, whose value the tag's own type gives as is.
void planReads(ObjectTable& t) {
    for (ReadStep& r : t.reads) r = ReadStep{ReadStep::SLOW, 0xFF, false, 0, nullptr};
    for (int tag = 1; tag < 256; ++tag) {
        if (WQX::DictDef->isObjectCode(static_cast<unsigned char>(tag))) {
            t.reads[tag].op = ReadStep::OBJECT;  // whatever a row of the class says
            continue;
        }
        if (!t.byTag[tag]) continue;
        const Field& f = t.fields[t.byTag[tag] - 1u];
        if (f.onTag) continue;
        ReadStep& r = t.reads[tag];
        switch (f.kind) {
        case Kind::U32:
            if (!(f.flags & READ8))
                r = ReadStep{f.trace ? ReadStep::TRACED : ReadStep::U32, VTAG_UINT32, false, f.at, nullptr};
            break;
        case Kind::REAL: r = ReadStep{ReadStep::REAL, VTAG_FLOAT, false, f.at, nullptr}; break;
        case Kind::TEXT: r = ReadStep{ReadStep::TEXT, VTAG_STRING, false, f.at, nullptr}; break;
        case Kind::CODE:
            if ((f.flags & RAW_TAG) || f.mapAt < 0) break;
            r = ReadStep{ReadStep::CODE, VTAG_UINT8, false, f.at, nullptr};
            r.keep = (f.flags & KEEP_TAG) != 0;
            r.valueOfCode = t.maps.data() + f.mapAt + kValueRange;
            break;
        default: break;
        }
    }
}

// An integer after its step's header: cut to the tag's width, as
// cTagList::add converts it.
unsigned char* putInt(unsigned char* p, const WireStep& s, unsigned int v) {
    std::memcpy(p, s.head, 4);
    p += 4;
    if (s.width == 4) {
        put32(p, v);
    } else if (s.width == 2) {
        put16(p, v);
    } else {
        p[0] = static_cast<unsigned char>(v);
    }
    return p + s.width;
}

// The code a CODE step writes for a value; -1 for a value without one.
inline int codeOf(const WireStep& s, int v) { return v >= 0 && v < kValueRange ? s.codeOfValue[v] : -1; }

// A 32-bit tag after its step's header (its bits as they are).
inline unsigned char* put32Tag(unsigned char* w, const WireStep& s, unsigned int bits) {
    std::memcpy(w, s.head, 4);
    put32(w + 4, bits);
    return w + 8;
}

// Writes the object's tags by its steps, its texts' lengths measured
// already, in step order; returns the tags written.
unsigned int writeSteps(const void* obj, const ObjectTable& t, const std::size_t* textLength,
                        unsigned char*& w) {
    w = putHead(w, t.wireCode, VTAG_NONE, 0);
    unsigned int count = 1;
    for (const WireStep& s : t.steps) {
        switch (s.op) {
        case WireStep::U32: {
            const unsigned int v = load<unsigned int>(obj, s.at);
            if (!isSet(v)) continue;
            w = put32Tag(w, s, v);
            break;
        }
        case WireStep::CODE8: {
            const int c = codeOf(s, load<int>(obj, s.at));
            if (c < 0) continue;
            std::memcpy(w, s.head, 4);
            w[4] = static_cast<unsigned char>(c);
            w += 5;
            break;
        }
        case WireStep::INT: {
            const unsigned int v = load<unsigned int>(obj, s.at);
            if (s.when == WireStep::IF_SET ? !isSet(v) : s.when == WireStep::IF_NOT_ZERO && v == 0)
                continue;
            w = putInt(w, s, v & s.mask);
            break;
        }
        case WireStep::CODE: {
            const int c = codeOf(s, load<int>(obj, s.at));
            if (c < 0) continue;
            w = putInt(w, s, static_cast<unsigned int>(c));
            break;
        }
        case WireStep::CONST: w = putInt(w, s, s.field->init); break;
        case WireStep::REAL: {
            const unsigned int bits = load<unsigned int>(obj, s.at);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            if (!isSet(f)) continue;
            w = put32Tag(w, s, bits);
            break;
        }
        case WireStep::TEXT: {
            const char* text = textAt(obj, s.at);
            const std::size_t n = *textLength++;
            if (!text) continue;
            // A tag's length is 16 bits: longer texts are cut, as a text tag cuts them.
            const unsigned short len = static_cast<unsigned short>(n > 0xFFFF ? 0xFFFF : n);
            std::memcpy(putHead(w, s.tag, VTAG_STRING, len), text, len);
            w += 4u + len;
            break;
        }
        case WireStep::FLAG:
            if (!load<bool>(obj, s.at)) continue;
            std::memcpy(w, s.head, 4);
            w += 4;
            break;
        }
        ++count;
    }
    return count;
}

}  // namespace

bool encodeObject(const cObject& obj, VMsg& msg) {
    const ObjectTable* t = tableOf(obj);
    if (!t || !t->direct) return false;
    const void* self = dynamic_cast<const void*>(&obj);
    std::size_t bound = t->fixedBytes;
    std::size_t lengths[kMaxSentTexts];
    std::size_t* n = lengths;
    for (unsigned short at : t->sentTexts) {
        const char* text = textAt(self, at);
        bound += *n++ = text ? std::strlen(text) : 0;
    }
    unsigned char* const start = msg.beginEncoded(bound);
    unsigned char* w = start;
    const unsigned int count = writeSteps(self, *t, lengths, w);
    msg.commitObject(static_cast<std::size_t>(w - start), count);
    return true;
}

namespace {

// Stores a tag whose type is the one its row reads, as populate would;
// false for anything else (another type, a hook, an unknown tag), which
// populate handles.
inline bool storeDirect(void* obj, const ReadStep& r, const VTagView& v) {
    if (v.type != r.type) return false;
    switch (r.op) {
    case ReadStep::U32:
    case ReadStep::REAL: store(obj, r.at, get32(v.value)); return true;  // a float as its bits
    case ReadStep::CODE: {
        const int value = r.valueOfCode[v.value[0]];
        store(obj, r.at, value >= 0 ? value : r.keep ? load<int>(obj, r.at) : 0);
        return true;
    }
    case ReadStep::TEXT: setTextBytes(textAt(obj, r.at), v); return true;
    default: return false;
    }
}

// Whether t's debug lines are on, asked of log4cpp the first time a hook
// may need it in this message (on starts at -1) and kept in on: each ask
// walks up its category tree, and most objects never need it.
bool logSwitch(const ObjectTable& t, signed char& on) {
    if (on < 0) on = t.log().isDebugEnabled();
    return on != 0;
}

// A traced row's tag of its own type: its line, then its value, as
// populate does, without the way round it.
void storeTraced(void* obj, const ObjectTable& t, const VTagView& v, bool log) {
    const unsigned int value = get32(v.value);
    if (log) t.log().debug(t.fields[t.byTag[v.tag] - 1u].trace, value);
    store(obj, t.reads[v.tag].at, value);
}

void decodeTags(void* obj, const ObjectTable& t, const unsigned char* p, std::size_t n,
                signed char& logOn) {
    VTagView v;
    for (VTagReader r(p, n); r.next(v);)
        if (!storeDirect(obj, t.reads[v.tag], v)) populate(obj, t, TagIn(v, logSwitch(t, logOn)));
}

}  // namespace

void decodeObjects(const unsigned char* p, std::size_t n, const unsigned char* msgTags,
                   std::size_t msgTagBytes, cObject* (*make)(unsigned char code),
                   void (*take)(cObject* obj, void* to), void* to) {
    const VelmorDictDef& dict = *WQX::DictDef;
    cObject* obj = nullptr;
    void* self = nullptr;
    const ObjectTable* t = nullptr;
    // Whether each class's debug lines are on, by wire code (logSwitch).
    signed char logOn[256];
    std::memset(logOn, -1, sizeof logOn);
    // An object is whole at the next object code or the end: the
    // message-level tags come last, and so win.
    const auto finish = [&] {
        if (!obj) return;
        if (t->readsMessageTags) decodeTags(self, *t, msgTags, msgTagBytes, logOn[t->wireCode]);
        take(obj, to);
        obj = nullptr;
    };
    VTagView v;
    for (VTagReader r(p, n); r.next(v);) {
        // The object's own tags first: one look at its read step tells a
        // field from the next object's code.
        if (obj) {
            const ReadStep& step = t->reads[v.tag];
            if (storeDirect(self, step, v)) continue;
            if (step.op == ReadStep::TRACED && v.type == step.type) {
                storeTraced(self, *t, v, logSwitch(*t, logOn[t->wireCode]));
                continue;
            }
            if (step.op != ReadStep::OBJECT) {
                populate(self, *t, TagIn(v, logSwitch(*t, logOn[t->wireCode])));
                continue;
            }
        } else if (!dict.isObjectCode(v.tag)) {
            continue;
        }
        finish();
        obj = make(v.tag);
        t = obj ? tableOf(*obj) : nullptr;
        if (!t) {
            delete obj;  // our classes all have tables; nothing else is made here
            obj = nullptr;
            continue;
        }
        self = dynamic_cast<void*>(obj);
    }
    finish();
}

void planDirectPath(ObjectTable& t) {
    planCodeMaps(t);
    planDirectWrite(t);
    planReads(t);
}

}  // namespace wqx
