#include "engine/ingestion.h"

namespace zelvo {

// Placeholder until the binary protocol is read: the log yields no epoch.
void ingest_binary(InputFile&, std::uint64_t, RunHost&, EpochStream&) {}

}  // namespace zelvo
