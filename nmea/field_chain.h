// The field chain of GGA and RMC: an ordered list of field handlers, one of
// them armed at a time. A handler that accepts its field (or finds it empty)
// arms the next one; one that rejects stays armed, so every later field
// reaches its handler late - receivers' malformed sentences decode exactly
// that way.
#pragma once

#include <cstddef>
#include <span>

#include "nmea/nmea_framer.h"
#include "record/waypoints.h"

namespace zelvo {

struct ChainContext {
    const SentenceBuffer& s;
    std::size_t star;  // index of the '*'; nothing at or after it is a field
    waypoints& record;
    bool drop = false;  // the sentence is to be dropped whole
};

struct FieldStep {
    bool accepted;
    std::size_t next;  // where the scan stands afterwards
};

// A handler takes the field opening at the ',' at `open`.
using FieldHandler = FieldStep (*)(ChainContext& c, std::size_t open);

// Scans from index 6 to the '*', offering each field to the armed handler.
// Returns false when a handler asked to drop the sentence.
bool run_field_chain(const SentenceBuffer& s, waypoints& record,
                     std::span<const FieldHandler> handlers);

// True when the field opening at `open` is empty: ",," or ",*".
inline bool field_is_empty(const ChainContext& c, std::size_t open) {
    return open + 1 >= c.star || c.s[open + 1] == ',';
}

// The handlers GGA and RMC share.
FieldStep take_time(ChainContext& c, std::size_t open);
FieldStep take_latitude(ChainContext& c, std::size_t open);
FieldStep take_north_south(ChainContext& c, std::size_t open);
FieldStep take_longitude(ChainContext& c, std::size_t open);
FieldStep take_east_west(ChainContext& c, std::size_t open);

}  // namespace zelvo
