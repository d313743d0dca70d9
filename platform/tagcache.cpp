// Memory for tags and message bytes. A message of a few hundred objects makes and frees
// thousands of small tags at once, which overflows the C library's own
// per-thread cache and sends every allocation down its slow path. Each thread
// therefore keeps the blocks of the tags it deletes, by size class, and hands
// them to the next tags it makes.
//
// Bounds: at most kCacheBytes per thread are kept; beyond that a block goes
// back to the C library, so a thread that only deletes tags other threads
// made (a transmit or event thread) keeps no more than that. A thread's
// blocks are returned when it ends; a tag deleted after that (by a static
// destructor, say) goes straight back to the C library.
//
// Under AddressSanitizer tags use plain new and delete, so that it still sees
// every tag's lifetime.
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

// Datagram-sized blocks of message bytes kept per thread.
const std::size_t kMessageBlocks = 8;

// Plain data, so it needs no construction and stays usable until the
// thread's storage goes. A closed cache counts as full.
struct TagCache {
    FreeBlock* head[kClasses];
    std::size_t bytes;
    unsigned char* blocks[kMessageBlocks];
    std::size_t nBlocks;
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
        while (cache.nBlocks > 0) delete[] cache.blocks[--cache.nBlocks];
        cache.nBlocks = kMessageBlocks;
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

// A message's bytes: every received datagram and every segment sent needs
// a block of up to kMaxDatagram bytes. Taking them from the C library costs
// more than the block's size suggests: a request of a kilobyte or so makes
// it first gather up all the small blocks freed before (the objects of the
// last message), every time.
namespace velmor_blocks {

unsigned char* take() {
    TagCache& tc = cache;
    if (tc.nBlocks > 0 && tc.nBlocks <= kMessageBlocks) return tc.blocks[--tc.nBlocks];
    return new unsigned char[VMsg::kMaxDatagram];
}

void give(unsigned char* p) {
    TagCache& tc = cache;
    if (tc.nBlocks >= kMessageBlocks) {
        delete[] p;
        return;
    }
    static_cast<void>(&closer);  // registers the thread's closer
    tc.blocks[tc.nBlocks++] = p;
}

}  // namespace velmor_blocks

#else

void* VTag::operator new(std::size_t size) { return ::operator new(size); }
void VTag::operator delete(void* p, std::size_t) { ::operator delete(p); }

namespace velmor_blocks {
unsigned char* take() { return new unsigned char[VMsg::kMaxDatagram]; }
void give(unsigned char* p) { delete[] p; }
}  // namespace velmor_blocks

#endif
