// The program's only window: the user's choices, the Run button, and the
// host that a conversion run reports to.
#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "engine/conversion_options.h"
#include "engine/conversion_run.h"
#include "engine/run_host.h"
#include "ui/pump_throttle.h"
#include "ui/settings_paths.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace zelvo {

class ColorSwatch;
class DateMaskEdit;
class Gauge;
class SettingsFile;
class UpDown;
class WindowDialogs;

// Typed access to the controls, named for what they are. Each control keeps
// its object name ("CheckBox1", "Edit3"), given where it is made: the
// settings file's keys are those names.
struct FormControls {
    QLabel* picture;
    QGroupBox* input_group;
    QGroupBox* format_group;
    QRadioButton* nmea_radio;
    QRadioButton* binary_radio;
    QRadioButton* solution_radio;
    QLineEdit* input_edit;
    QToolButton* input_button;
    QGroupBox* output_group;
    QLineEdit* output_edit;
    QToolButton* output_button;
    QGroupBox* settings_group;
    QGroupBox* waypoints_group;
    QLabel* auto_caption;
    QLabel* diff_caption;
    QLabel* rtk_fix_caption;
    QLabel* invalid_caption;
    QLabel* rtk_float_caption;
    QLabel* estimated_caption;
    ColorSwatch* auto_swatch;
    ColorSwatch* diff_swatch;
    ColorSwatch* rtk_fix_swatch;
    ColorSwatch* invalid_swatch;
    ColorSwatch* rtk_float_swatch;
    ColorSwatch* estimated_swatch;
    QLabel* scale_caption;
    QLineEdit* scale_edit;
    UpDown* scale_arrows;
    QCheckBox* show_height_check;
    QGroupBox* track_group;
    QLabel* track_caption;
    ColorSwatch* track_swatch;
    QLabel* all_epochs_caption;
    ColorSwatch* all_epochs_swatch;
    QLabel* width_caption;
    QLineEdit* width_edit;
    UpDown* width_arrows;
    QCheckBox* start_first_fix_check;
    QCheckBox* all_epochs_check;
    QGroupBox* date_group;
    QCheckBox* fixed_date_check;
    DateMaskEdit* fixed_date_edit;
    QGroupBox* run_group;
    QToolButton* run_button;
    Gauge* gauge;
    QGroupBox* config_group;
    QLineEdit* config_edit;
    QToolButton* config_open_button;
    QToolButton* config_save_button;
    QLabel* status_panel;
    QLabel* count_panel;
};

class TForm1 : public QWidget, public RunHost {
    Q_OBJECT
public:
    // `interactive` is false only when a run must show no closing message.
    TForm1(WindowDialogs& dialogs, SettingsLocation location, bool interactive = true,
           QWidget* parent = nullptr);
    ~TForm1() override;

    const FormControls& controls() const { return c_; }
    SettingsFile& settings() { return *settings_; }
    const SettingsLocation& location() const { return location_; }

    // The full paths kept behind the three path fields (also their hints).
    QString input_full_path() const { return input_full_path_; }
    QString output_full_path() const { return output_full_path_; }
    QString config_full_path() const { return config_full_path_; }

    // The options a run gets from the controls.
    ConversionOptions gather_options() const;
    bool running() const { return running_; }

    // Handlers, public so that start-up and tests reach them as a user would.
    void choose_input_file();
    void choose_output_file();
    void open_config();
    void save_config();
    void handle_dropped_files(const QStringList& paths);
    void pick_color(ColorSwatch* swatch);
    void step_width(int step);
    void step_scale(int step);
    void update_track_controls();
    void run_conversion();
    // The general error report: caption "ZelvoConverter", error icon, OK.
    void report_error(const QString& message);

    // The status panel, the Run button and the options the run locks.
    void set_status(const std::string& text);
    void set_run_enabled(bool enabled);
    void set_options_enabled(bool enabled);
    bool is_interactive() const { return interactive_; }

    // RunHost
    void reset_progress() override;
    void advance_progress() override;
    void phase(RunPhase phase, std::int32_t placemarks) override;
    void process_messages() override;
    FileFailureAction file_failure(const std::string& text) override;

    // Moves the window to (left, top), or as near as it can lie wholly on
    // an available screen.
    void move_on_screen(int left, int top);

    // Minimum time between two passes of the event queue inside a run.
    void set_pump_interval_ms(int ms) { pump_throttle_.set_interval_ms(ms); }
    int pump_passes() const { return pump_throttle_.looks(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void create_controls();
    void create_input_output_controls();
    void create_settings_controls(const ConversionOptions& initial);
    void create_run_controls();
    void connect_controls();
    void on_input_text_changed();
    void on_output_text_changed();
    // Sets the output as the program proposes or the dialog chose it.
    void put_output(const QString& full_path);
    // Where a typed relative name is looked for.
    QString typed_name_dir() const;
    // What the window shows of a run that returned: the refusal's file and
    // reason in the status panel's hint, or the closing message.
    void show_run_result(const ConversionOptions& options, const RunResult& result);
    void show_no_epoch_information(const QString& message, InputFormat input_format);
    // The format group's choice, and setting it.
    InputFormat chosen_format() const;
    void choose_format(InputFormat format);
    void set_input_from_file(const QString& full_name);
    void set_output_full_path(const QString& path);
    // Runs a handler; an error escaping it goes to the general error report.
    void guarded(const std::function<void()>& handler);

    WindowDialogs& dialogs_;
    SettingsLocation location_;
    bool interactive_;
    FormControls c_{};
    std::unique_ptr<SettingsFile> settings_;

    QString input_full_path_;
    QString output_full_path_;
    QString config_full_path_;
    QString last_output_choice_;  // the output dialog's file name of its last use
    QString chosen_dir_;          // directory of the last file chosen or dropped
    QString output_dir_;          // directory of the output as last proposed or chosen
    bool output_named_ = false;   // the user chose or typed the output since the input changed

    bool running_ = false;
    bool cancel_requested_ = false;
    // What the run has locked so far: the Run button once it has begun, the
    // options once it reads the log.
    bool run_locked_ = false;
    bool options_locked_ = false;
    PumpThrottle pump_throttle_;
};

}  // namespace zelvo
