#include "ui/window_settings.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>

#include <stdexcept>

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
    v.use_fixed_date = c.CheckBox1->isChecked();
    v.fixed_date = text_of(c.MaskEdit1);
    v.track_color = c.ShapeStyleTrack->color();
    v.full_track_color = c.ShapeFullTrack->color();
    v.track_width = text_of(c.Edit3);
    v.use_all_waypoints = c.CheckBox2->isChecked();
    v.start_first_fix = c.CheckBox4->isChecked();
    v.show_height = c.CheckBox3->isChecked();
    v.icon_scale = text_of(c.Edit4);
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
    c.CheckBox1->setChecked(v.use_fixed_date);
    snap.use_fixed_date = c.CheckBox1->isChecked();
    c.MaskEdit1->setText(qtext(v.fixed_date));
    snap.fixed_date = text_of(c.MaskEdit1);
    c.MaskEdit1->setEnabled(found ? c.CheckBox1->isChecked() : true);
    c.ShapeStyleTrack->set_color(v.track_color);
    snap.track_color = c.ShapeStyleTrack->color();
    c.ShapeFullTrack->set_color(v.full_track_color);
    snap.full_track_color = c.ShapeFullTrack->color();
    c.Edit3->setText(qtext(v.track_width));
    snap.track_width = text_of(c.Edit3);
    c.CheckBox3->setChecked(v.show_height);
    snap.show_height = c.CheckBox3->isChecked();
    c.CheckBox4->setChecked(v.start_first_fix);
    snap.start_first_fix = c.CheckBox4->isChecked();
    c.CheckBox2->setChecked(v.use_all_waypoints);
    snap.use_all_waypoints = c.CheckBox2->isChecked();
    c.Edit4->setText(qtext(v.icon_scale));
    snap.icon_scale = text_of(c.Edit4);
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
