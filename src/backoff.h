// The pause after repeated failures of one operation: short at first and
// doubling up to a ceiling, so a persistent error costs a few wake-ups a
// second instead of a core, while a one-off error costs next to nothing.
// Not installed; used by one thread at a time.
#ifndef WQX_BACKOFF_H
#define WQX_BACKOFF_H

namespace wqx {

class Backoff {
public:
    Backoff(unsigned int firstMs, unsigned int maxMs)
        : first_(firstMs ? firstMs : 1), max_(maxMs < first_ ? first_ : maxMs), next_(first_) {}

    // The pause to take now, in milliseconds; the next one is longer.
    unsigned int next() {
        const unsigned int pause = next_;
        next_ = next_ > max_ / 2 ? max_ : next_ * 2;
        return pause;
    }
    // After a success the next failure starts short again.
    void reset() { next_ = first_; }

private:
    unsigned int first_;
    unsigned int max_;
    unsigned int next_;
};

}  // namespace wqx

#endif
