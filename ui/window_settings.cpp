#include "ui/window_settings.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>

#include <stdexcept>
#include <type_traits>
#include <variant>

#include "ui/main_window.h"
#include "ui/settings_paths.h"
#include "ui/settings_table.h"
#include "ui/window_controls.h"

namespace zelvo {

namespace {

std::string text_of(const QLineEdit* edit) { return edit->text().toStdString(); }
QString qtext(const std::string& s) { return QString::fromStdString(s); }

template <typename T>
T* control(const TForm1& form, const char* name) {
    return form.findChild<T*>(QLatin1String(name));
}

// A setting as its control shows it now.
bool read_control(const TForm1& form, const char* name, bool*) { return control<QCheckBox>(form, name)->isChecked(); }
std::string read_control(const TForm1& form, const char* name, std::string*) {
    return text_of(control<QLineEdit>(form, name));
}
ColorRef read_control(const TForm1& form, const char* name, ColorRef*) {
    return control<ColorSwatch>(form, name)->color();
}

// Puts a value into its control. Changing a switch runs its click
// behaviour through its toggled() signal.
void write_control(const TForm1& form, const char* name, bool on) { control<QCheckBox>(form, name)->setChecked(on); }
void write_control(const TForm1& form, const char* name, const std::string& text) {
    control<QLineEdit>(form, name)->setText(qtext(text));
}
void write_control(const TForm1& form, const char* name, ColorRef colour) {
    control<ColorSwatch>(form, name)->set_color(colour);
}

}  // namespace

SettingsValues SettingsFile::current_values() const {
    SettingsValues v;
    for (const Setting& setting : kSettings) {
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(v.*f.value)>;
                if constexpr (!std::is_same_v<T, int>)
                    if (f.value) v.*f.value = read_control(form_, setting.name, static_cast<T*>(nullptr));
            },
            setting.field);
    }
    v.left = form_.x();
    v.top = form_.y();
    return v;
}

void SettingsFile::put_choices(ConversionOptions& options) const {
    for (const Setting& setting : kSettings) {
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(options.*f.option)>;
                if constexpr (!std::is_same_v<T, int>)
                    if (f.option) options.*f.option = read_control(form_, setting.name, static_cast<T*>(nullptr));
            },
            setting.field);
    }
}

void SettingsFile::load_settings(const std::string& path) {
    const FormControls& c = form_.controls();
    bool found = false;
    SettingsValues v = load_settings_values(path, current_values(), &found);

    // Each control is set in the file's order and the snapshot takes what
    // the control then shows (the date field applies its mask).
    SettingsValues snap;
    for (const Setting& setting : kSettings) {
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(v.*f.value)>;
                if constexpr (!std::is_same_v<T, int>) {
                    if (!f.value) return;
                    write_control(form_, setting.name, v.*f.value);
                    snap.*f.value = read_control(form_, setting.name, static_cast<T*>(nullptr));
                }
            },
            setting.field);
    }
    c.fixed_date_edit->setEnabled(found ? c.fixed_date_check->isChecked() : true);
    if (found) {
        form_.update_track_controls();
        form_.move_on_screen(v.left, v.top);
    }
    snap.left = form_.x();
    snap.top = form_.y();
    loaded_ = snap;
}

void SettingsFile::save_settings(const std::string& path) {
    const SettingsLocation& loc = form_.location();
    std::string target = loc.save_path(path);
    if (target.empty())
        throw std::runtime_error("The settings are not saved: there is no home directory for them");
    // The per-user settings directory may not exist yet; any other directory
    // is the user's choice and a missing one is an error.
    if (directory_part(target) == loc.settings_dir()) make_directories(loc.settings_dir());
    save_settings_values(target, current_values());
}

}  // namespace zelvo
