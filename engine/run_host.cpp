#include "engine/run_host.h"

namespace zelvo {

const char* phase_text(RunPhase phase) {
    switch (phase) {
        case RunPhase::InputRefused: return "Can't open the input file";
        case RunPhase::OutputRefused: return "Can't create the output file";
        case RunPhase::Begun: return " ";
        case RunPhase::Reading: return "The progress started";
        case RunPhase::Writing: return "Creation of KML-file";
        case RunPhase::Finished: return "The progress finished";
    }
    return "";
}

void HeadlessHost::phase(RunPhase phase, std::int32_t) { status_ = phase_text(phase); }

}  // namespace zelvo
