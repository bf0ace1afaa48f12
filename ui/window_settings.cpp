#include "ui/window_settings.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>

#include "ui/main_window.h"
#include "ui/settings_paths.h"
#include "ui/window_controls.h"

namespace zelvo {

namespace {

std::string text_of(const QLineEdit* edit) { return edit->text().toStdString(); }
QString qtext(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

SettingsValues SettingsFile::current_values() const {
    const FormControls& c = form_.controls();
    SettingsValues v;
    v.use_fixed_date = c.fixed_date_check->isChecked();
    v.fixed_date = text_of(c.fixed_date_edit);
    v.track_color = c.track_swatch->color();
    v.full_track_color = c.all_epochs_swatch->color();
    v.track_width = text_of(c.width_edit);
    v.use_all_waypoints = c.all_epochs_check->isChecked();
    v.start_first_fix = c.start_first_fix_check->isChecked();
    v.show_height = c.show_height_check->isChecked();
    v.icon_scale = text_of(c.scale_edit);
    v.left = form_.x();
    v.top = form_.y();
    return v;
}

void SettingsFile::load_settings(const std::string& path) {
    const FormControls& c = form_.controls();
    bool found = false;
    SettingsValues v = load_settings_values(path, current_values(), &found);

    // Each control is set in the file's order and the snapshot takes what
    // the control then shows (the date field applies its mask). Changing a
    // switch runs its click behaviour through its toggled() signal.
    SettingsValues snap;
    c.fixed_date_check->setChecked(v.use_fixed_date);
    snap.use_fixed_date = c.fixed_date_check->isChecked();
    c.fixed_date_edit->setText(qtext(v.fixed_date));
    snap.fixed_date = text_of(c.fixed_date_edit);
    c.fixed_date_edit->setEnabled(found ? c.fixed_date_check->isChecked() : true);
    c.track_swatch->set_color(v.track_color);
    snap.track_color = c.track_swatch->color();
    c.all_epochs_swatch->set_color(v.full_track_color);
    snap.full_track_color = c.all_epochs_swatch->color();
    c.width_edit->setText(qtext(v.track_width));
    snap.track_width = text_of(c.width_edit);
    c.show_height_check->setChecked(v.show_height);
    snap.show_height = c.show_height_check->isChecked();
    c.start_first_fix_check->setChecked(v.start_first_fix);
    snap.start_first_fix = c.start_first_fix_check->isChecked();
    c.all_epochs_check->setChecked(v.use_all_waypoints);
    snap.use_all_waypoints = c.all_epochs_check->isChecked();
    c.scale_edit->setText(qtext(v.icon_scale));
    snap.icon_scale = text_of(c.scale_edit);
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
    // The per-user settings directory may not exist yet; any other directory
    // is the user's choice and a missing one is an error.
    if (directory_part(target) == loc.settings_dir()) make_directories(loc.settings_dir());
    save_settings_values(target, current_values());
}

}  // namespace zelvo
