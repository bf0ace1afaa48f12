// What a conversion run needs of the program that hosts it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "output/file_failure.h"

namespace zelvo {

class RunHost {
public:
    virtual ~RunHost() = default;
    virtual void set_status(const std::string& text) = 0;      // left panel
    virtual void set_count_text(const std::string& text) = 0;  // right panel
    virtual std::string count_text() const = 0;                // read back for the final message
    virtual void reset_progress() = 0;                         // gauge to 0
    virtual void advance_progress() = 0;                       // +1, never above 100
    virtual void set_run_enabled(bool enabled) = 0;
    virtual void set_options_enabled(bool enabled) = 0;
    // Lets the host repaint and react: before every byte of a binary log and
    // once per chunk of an NMEA log. A host that looks at its queue less
    // often asks to skip calls, which then cost one countdown each, not a
    // call into the host.
    void pump_messages() {
        if (--pump_countdown_ > 0) [[likely]] return;
        pump_countdown_ = 1;
        process_messages();
    }
    // After every chunk of the log: the bytes read so far. A host that does
    // not know the log's size (standard input) shows this instead.
    virtual void bytes_read(std::uint64_t total) { (void)total; }
    virtual void show_information(const std::string& text) = 0;
    // The final message of a run that found no epoch in its log read as
    // `input_format`. A host that can say how to read the log instead adds
    // its hint.
    virtual void show_no_epoch_information(const std::string& text, std::int32_t input_format) {
        (void)input_format;
        show_information(text);
    }
    // The same message with more to read on request (the session summary).
    virtual void show_information_with_details(const std::string& text, const std::string& details) {
        (void)details;
        show_information(text);
    }
    virtual bool is_interactive() const = 0;
    // A file that cannot be stored in the archive. Without a user the run
    // names the failure and gives up; the window asks.
    virtual FileFailureAction file_failure(const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return FileFailureAction::Abort;
    }

protected:
    // The host's side of pump_messages. It may throw RunCancelled to stop
    // the run; the run then cleans up and rethrows.
    virtual void process_messages() = 0;
    // The next `calls` pumps go by before process_messages runs again.
    void skip_pumps(int calls) { pump_countdown_ = calls < 1 ? 1 : calls; }

private:
    int pump_countdown_ = 1;
};

// A host without a user: keeps the texts and the gauge, shows nothing.
class HeadlessHost : public RunHost {
public:
    void set_status(const std::string& text) override { status_ = text; }
    void set_count_text(const std::string& text) override { count_ = text; }
    std::string count_text() const override { return count_; }
    void reset_progress() override { progress_ = 0; }
    void advance_progress() override {
        if (progress_ < 100) ++progress_;
    }
    void set_run_enabled(bool enabled) override { run_enabled_ = enabled; }
    void set_options_enabled(bool enabled) override { options_enabled_ = enabled; }
    void process_messages() override {}
    void show_information(const std::string&) override {}
    bool is_interactive() const override { return false; }

    const std::string& status() const { return status_; }
    int progress() const { return progress_; }
    bool run_enabled() const { return run_enabled_; }
    bool options_enabled() const { return options_enabled_; }

private:
    std::string status_;
    std::string count_;
    int progress_ = 0;
    bool run_enabled_ = true;
    bool options_enabled_ = true;
};

}  // namespace zelvo
