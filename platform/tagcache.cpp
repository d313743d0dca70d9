// Memory for tags, messages and message bytes. A message of a few hundred
// objects makes and frees thousands of small tags at once, which overflows
// the C library's own per-thread cache and sends every allocation down its
// slow path; and every datagram sent or received is a message and a block of
// bytes made and freed. Each thread therefore keeps the blocks it frees, by
// size class, and hands them to the next tags and messages it makes.
//
// Bounds: at most kCacheBytes of tags, kShelfBlocks small blocks (a message,
// or the bytes of a small one) and kShelfBlocks datagram blocks per thread
// are kept; beyond that a block goes back to the C library, so a thread that
// only deletes what other threads made (a transmit or event thread) keeps no
// more than that. A thread's blocks are returned when it ends; a block freed
// after that (by a static destructor, say) goes straight back to the C
// library.
//
// Under AddressSanitizer everything uses plain new and delete, so that it
// still sees every block's lifetime.
#include <cstdint>
#include <new>

#include "velmor.h"

#if defined(__SANITIZE_ADDRESS__)
#define WQX_TAG_CACHE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WQX_TAG_CACHE 0
#endif
#endif
#ifndef WQX_TAG_CACHE
#define WQX_TAG_CACHE 1
#endif

#if WQX_TAG_CACHE

namespace {

const std::size_t kGrain = 16;            // size classes of 16, 32, 48 and 64 bytes
const std::size_t kClasses = 4;
const std::size_t kCacheBytes = 256 * 1024;

struct FreeBlock {
    FreeBlock* next;
};

// Blocks of the two message sizes kept per thread, on a shelf each.
const std::size_t kShelfBlocks = 8;

struct Shelf {
    unsigned char* blocks[kShelfBlocks];
    std::size_t n;
};

// Plain data, so it needs no construction and stays usable until the
// thread's storage goes. A closed cache counts as full.
struct TagCache {
    FreeBlock* head[kClasses];
    std::size_t bytes;
    Shelf small;     // a message, or the bytes of a small one (velmor.cpp)
    Shelf datagram;  // VMsg::kMaxDatagram bytes
    bool closing;    // the thread's closer is registered
};

// initial-exec: one instruction to reach it instead of a call per access.
// The block is small enough for the room the C library keeps for libraries
// that use this model, even when loaded with dlopen.
__attribute__((tls_model("initial-exec"))) thread_local TagCache cache;

// Returns the thread's blocks when the thread ends; made on the thread's
// first cached block.
struct CacheCloser {
    ~CacheCloser() {
        for (FreeBlock*& head : cache.head)
            while (FreeBlock* b = head) {
                head = b->next;
                ::operator delete(b);
            }
        cache.bytes = kCacheBytes;
        for (Shelf* shelf : {&cache.small, &cache.datagram}) {
            while (shelf->n > 0) delete[] shelf->blocks[--shelf->n];
            shelf->n = kShelfBlocks;
        }
    }
};

thread_local CacheCloser closer;

inline std::size_t classOf(std::size_t size) { return (size - 1) / kGrain; }

}  // namespace

void* VTag::operator new(std::size_t size) {
    const std::size_t c = classOf(size);
    if (c >= kClasses) return ::operator new(size);
    TagCache& tc = cache;
    if (FreeBlock* b = tc.head[c]) {
        tc.head[c] = b->next;
        tc.bytes -= (c + 1) * kGrain;
        return b;
    }
    // Every block of a class has the class's full size, so any tag of the
    // class can reuse it.
    return ::operator new((c + 1) * kGrain);
}

void VTag::operator delete(void* p, std::size_t size) {
    if (!p) return;
    const std::size_t c = classOf(size);
    const std::size_t blockBytes = (c + 1) * kGrain;
    TagCache& tc = cache;
    if (c >= kClasses || tc.bytes + blockBytes > kCacheBytes) {
        ::operator delete(p);
        return;
    }
    if (tc.bytes == 0) static_cast<void>(&closer);  // registers the thread's closer
    FreeBlock* b = static_cast<FreeBlock*>(p);
    b->next = tc.head[c];
    tc.head[c] = b;
    tc.bytes += blockBytes;
}

// Messages and their bytes: every received datagram and every segment sent
// needs a message and a block of up to kMaxDatagram bytes. Taking the block
// from the C library costs more than its size suggests: a request of a
// kilobyte or so makes it first gather up all the small blocks freed before
// (the objects of the last message), every time.
namespace velmor_blocks {

namespace {
Shelf& shelfOf(std::size_t size) { return size == VMsg::kMaxDatagram ? cache.datagram : cache.small; }
}  // namespace

unsigned char* take(std::size_t size) {
    Shelf& shelf = shelfOf(size);
    if (shelf.n > 0 && shelf.n <= kShelfBlocks) return shelf.blocks[--shelf.n];
    return new unsigned char[size];
}

void give(unsigned char* p, std::size_t size) {
    Shelf& shelf = shelfOf(size);
    if (shelf.n >= kShelfBlocks) {
        delete[] p;
        return;
    }
    if (!cache.closing) {
        static_cast<void>(&closer);  // registers the thread's closer
        cache.closing = true;
    }
    shelf.blocks[shelf.n++] = p;
}

}  // namespace velmor_blocks

#else

void* VTag::operator new(std::size_t size) { return ::operator new(size); }
void VTag::operator delete(void* p, std::size_t) { ::operator delete(p); }

namespace velmor_blocks {
unsigned char* take(std::size_t size) { return new unsigned char[size]; }
void give(unsigned char* p, std::size_t) { delete[] p; }
}  // namespace velmor_blocks

#endif
