// How much the window's host costs a run, and how often the window repaints
// during one: window_pump_bench [megabytes] [binary-sample] [both|headless|window]
//
// A large NMEA log (test logs repeated) and a large binary log (a binary
// sample repeated, or generated frames) are converted through the headless
// host and through the window's host with the pump throttled to 15 ms and
// unthrottled. Without a display it draws offscreen (QT_QPA_PLATFORM chooses
// otherwise).
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include <QApplication>
#include <QRadioButton>
#include <QProgressBar>

#include "engine/conversion_run.h"
#include "ui/main_window.h"
#include "ui/window_controls.h"
#include "ui/window_dialogs.h"
#include "ui/window_settings.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void repeat_into(const std::string& path, const std::string& unit, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    for (std::size_t n = 0; n < bytes; n += unit.size()) out << unit;
}

// Frames shaped like the binary protocol's (DLE, id, payload with doubled
// DLE, DLE ETX), with random payloads: the framer and the per-byte pump see
// realistic traffic even without a recorded sample.
std::string generated_frames() {
    std::mt19937 rng(7);
    std::string s;
    for (int f = 0; f < 2000; ++f) {
        s += '\x10';
        s += static_cast<char>(f % 3 == 0 ? 0x88 : 0x52);
        int len = 20 + static_cast<int>(rng() % 60);
        for (int i = 0; i < len; ++i) {
            char b = static_cast<char>(rng() & 0xFF);
            s += b;
            if (b == '\x10') s += b;
        }
        s += "\x10\x03";
    }
    return s;
}

class NoDialogs : public zelvo::WindowDialogs {
public:
    std::optional<QString> open_file(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    std::optional<QString> save_file(QWidget*, const QString&, const QString&, const QString&, const QString&) override { return {}; }
    std::optional<zelvo::ColorRef> choose_color(QWidget*, zelvo::ColorRef) override { return {}; }
    void information(QWidget*, const QString&, const QString&) override {}
    void warning(QWidget*, const QString&, const QString&) override {}
    void error(QWidget*, const QString&, const QString& text) override {
        std::fprintf(stderr, "error: %s\n", text.toLocal8Bit().constData());
    }
    bool ask_yes_no(QWidget*, const QString&, const QString&) override { return false; }
    zelvo::FileFailureAction abort_retry_ignore(QWidget*, const QString&, const QString&) override {
        return zelvo::FileFailureAction::Abort;
    }
};

// Counts the gauge's paint events.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};



struct Timing {
    double seconds = 1e9;
    int paints = 0;
    int passes = 0;
};

// One window for all the runs of a log, shown, with the gauge's paints counted.
class WindowBench {
public:
    explicit WindowBench(const std::string& dir)
        : form_(dialogs_, zelvo::SettingsLocation{dir, "zelvoconverter", dir + "cfg", dir}) {
        form_.settings().load_settings("");
        form_.show();
        QApplication::processEvents();
        form_.controls().gauge->installEventFilter(&counter_);
    }
    // Through the window's own Run handler, as a user would start it.
    // The options the window gives a run of this log; the headless host gets
    // the very same.
    zelvo::ConversionOptions choose(const std::string& log, zelvo::InputFormat format) {
        form_.handle_dropped_files({QString::fromStdString(log)});
        (format == zelvo::InputFormat::Tolv ? form_.controls().binary_radio : form_.controls().nmea_radio)
            ->setChecked(true);
        return form_.gather_options();
    }
    void run(int interval_ms, Timing& best) {
        form_.set_pump_interval_ms(interval_ms);
        counter_.paints = 0;
        auto t0 = Clock::now();
        form_.run_conversion();
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        if (s < best.seconds) best = {s, counter_.paints, form_.pump_passes()};
        QApplication::processEvents();
    }

private:
    NoDialogs dialogs_;
    zelvo::TForm1 form_;
    PaintCounter counter_;
};

// Removes what the last run wrote, so that no run pays for truncating the
// previous one's large output.
void remove_outputs(const std::string& log) {
    for (const char* ext : {".kmz", ".kml"}) fs::remove(log + ext);
    fs::remove(log.substr(0, log.rfind('.')) + ".nmea.kml");
}

// Each host does all its runs in turn (interleaving them lets one run's
// writeback of a large output slow the next); the fastest run of each counts.
// Which hosts to time: both, or one alone in this process.
enum class Hosts { Both, Headless, Window };
Hosts g_hosts = Hosts::Both;

void report(const char* name, const std::string& log, const std::string& dir, zelvo::InputFormat format) {
    constexpr int kRounds = 7;
    Timing headless, throttled, every;
    WindowBench window(dir);
    const zelvo::ConversionOptions options = window.choose(log, format);
    for (int round = 0; round < kRounds && g_hosts != Hosts::Headless; ++round) {
        remove_outputs(log);
        window.run(15, throttled);
    }
    for (int round = 0; round < kRounds && g_hosts != Hosts::Window; ++round) {
        remove_outputs(log);
        zelvo::HeadlessHost host;
        zelvo::ConversionOptions o = options;
        auto t0 = Clock::now();
        zelvo::conversion_run(o, host);
        headless.seconds = std::min(headless.seconds, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    if (g_hosts == Hosts::Both) {
        remove_outputs(log);
        window.run(0, every);
    }
    remove_outputs(log);
    double mb = static_cast<double>(fs::file_size(log)) / 1e6;
    std::printf("%s log, %.1f MB (fastest of %d runs each)\n", name, mb, kRounds);
    // Only the hosts that ran: the others have no time to show.
    if (g_hosts != Hosts::Window) std::printf("  headless host            %8.3f s\n", headless.seconds);
    if (g_hosts != Hosts::Headless)
        std::printf("  window host, 15 ms pump  %8.3f s  %+6.1f %%  %6d passes  %4d gauge repaints  %6.1f repaints/s\n",
                    throttled.seconds, 100.0 * (throttled.seconds / headless.seconds - 1.0), throttled.passes,
                    throttled.paints, throttled.paints / throttled.seconds);
    if (g_hosts == Hosts::Both)
        std::printf("  window host, every pump  %8.3f s  %+6.1f %%  %6d passes\n", every.seconds,
                    100.0 * (every.seconds / headless.seconds - 1.0), every.passes);
}

}  // namespace

int main(int argc, char** argv) {
    bool has_display = false;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* v = std::getenv(name); v && *v) has_display = true;
    if (!has_display) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::fputs("window_pump_bench: no display; drawing offscreen\n", stderr);
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    std::size_t megabytes = argc > 1 ? std::stoul(argv[1]) : 20;
    std::string dir = (fs::temp_directory_path() / "zelvo_pump_bench").string() + "/";
    fs::create_directories(dir);

    repeat_into(dir + "big.nmea", slurp(ZELVO_TEST_DATA "/gpsd-ublox-zed-f9r.log"), megabytes << 20);
    std::string sample = argc > 2 && argv[2][0] ? slurp(argv[2]) : generated_frames();
    if (argc > 3) {
        std::string which = argv[3];
        g_hosts = which == "headless" ? Hosts::Headless : which == "window" ? Hosts::Window : Hosts::Both;
    }
    repeat_into(dir + "big.tolv", sample, megabytes << 20);

    report("NMEA", dir + "big.nmea", dir, zelvo::InputFormat::Nmea);
    report("Binary", dir + "big.tolv", dir, zelvo::InputFormat::Tolv);
    fs::remove_all(dir);
    return 0;
}
