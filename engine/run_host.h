// What a conversion run needs of the program that hosts it: a gauge, the
// phase it is in, an answer when the archive cannot take a file, and a
// chance to cancel.
#pragma once

#include <cstdint>
#include <string>

#include "output/file_failure.h"

namespace zelvo {

// The phases a run goes through, in this order; a refused run has only the
// first of them.
enum class RunPhase {
    InputRefused,   // the log cannot be opened
    OutputRefused,  // the archive cannot be created
    Begun,          // the archive is created: the run begins
    Reading,        // the log is read into the document
    Writing,        // the document's folder is closed: the placemark count is final
    Finished,       // the archive is complete
};

// The status text of each phase.
const char* phase_text(RunPhase phase);

class RunHost {
public:
    virtual ~RunHost() = default;
    virtual void reset_progress() = 0;    // gauge to 0
    virtual void advance_progress() = 0;  // +1, never above 100
    // After every chunk of the log: the bytes read so far. A host that does
    // not know the log's size (standard input) shows this instead.
    virtual void bytes_read(std::uint64_t total) { (void)total; }
    // The run has entered `phase`; `placemarks` is the number written so far.
    virtual void phase(RunPhase phase, std::int32_t placemarks) = 0;
    // Lets the host repaint and react: before every byte of a binary log and
    // once per chunk of an NMEA log. A host that looks at its queue less
    // often asks to skip calls, which then cost one countdown each, not a
    // call into the host.
    void pump_messages() {
        if (--pump_countdown_ > 0) [[likely]] return;
        pump_countdown_ = 1;
        process_messages();
    }
    // A file that cannot be stored in the archive. Without a user the run
    // names the failure and gives up; the window asks.
    virtual FileFailureAction file_failure(const std::string& text) { return report_and_abort(text); }

protected:
    // The host's side of pump_messages. It may throw RunCancelled to stop
    // the run; the run then cleans up and rethrows.
    virtual void process_messages() = 0;
    // The next `calls` pumps go by before process_messages runs again.
    void skip_pumps(int calls) { pump_countdown_ = calls < 1 ? 1 : calls; }

private:
    int pump_countdown_ = 1;
};

// A host without a user: keeps the status text and the gauge, shows nothing.
class HeadlessHost : public RunHost {
public:
    void reset_progress() override { progress_ = 0; }
    void advance_progress() override {
        if (progress_ < 100) ++progress_;
    }
    void phase(RunPhase phase, std::int32_t placemarks) override;
    void process_messages() override {}

    const std::string& status() const { return status_; }
    int progress() const { return progress_; }

private:
    std::string status_;
    int progress_ = 0;
};

}  // namespace zelvo
