// The epoch vector as ingestion sees it: append at the end, change only the
// last record. A record is final once the next one is appended or the input
// ends; final records go to a consumer at once, so a run holds one epoch in
// memory however long the log is.
#pragma once

#include <cstdint>
#include <utility>

#include "record/waypoints.h"

namespace zelvo {

class EpochConsumer {
public:
    virtual ~EpochConsumer() = default;
    // Called once per record, in input order, when it can no longer change.
    virtual void epoch_final(waypoints& record) = 0;
    // Called once, right before the last record of the input is final.
    virtual void last_epoch_follows() {}
};

class EpochStream {
public:
    explicit EpochStream(EpochConsumer& consumer) : consumer_(consumer) {}

    bool empty() const { return count_ == 0; }
    std::uint64_t size() const { return count_; }
    waypoints& last() { return last_; }

    // Appends `fresh` (its contents are taken; it is left cleared for reuse).
    // The record that was last before is final from here on.
    void append(waypoints& fresh) {
        if (count_ != 0) consumer_.epoch_final(last_);
        std::swap(last_, fresh);
        fresh.clear();
        ++count_;
    }

    // The end of the input: the last record is final.
    void finish() {
        if (count_ != 0 && !finished_) {
            consumer_.last_epoch_follows();
            consumer_.epoch_final(last_);
        }
        finished_ = true;
    }

private:
    EpochConsumer& consumer_;
    waypoints last_;
    std::uint64_t count_ = 0;
    bool finished_ = false;
};

}  // namespace zelvo
