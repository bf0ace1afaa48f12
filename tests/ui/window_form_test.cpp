// The window's controls and handler rules, driven as a user would, with the
// dialogs answered through the seam.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <clocale>
#include <memory>

#include "engine/conversion_run.h"
#include "ui/main_window.h"
#include "ui/window_controls.h"
#include "ui/window_main.h"
#include "ui/window_settings.h"
#include "ui/settings_table.h"
#include "window_test_support.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

// One window with its own executable directory and scripted dialogs.
struct Fixture {
    Scratch scratch;
    ScriptedDialogs dialogs;
    std::unique_ptr<TForm1> form;
    const FormControls* c = nullptr;

    // loaded: after start-up's load of the default settings path.
    explicit Fixture(bool loaded = true) {
        form = std::make_unique<TForm1>(dialogs, scratch.location());
        c = &form->controls();
        if (loaded) form->settings().load_settings(form->location().default_settings_path());
    }
    QString dir() const { return QString::fromStdString(scratch.path()); }
};

QColor caption_color(const QGroupBox* g) { return g->palette().color(QPalette::WindowText); }

}  // namespace

class WindowFormTest : public QObject {
    Q_OBJECT
private slots:
    void every_setting_is_a_control_the_run_reads();
    void controls_sit_where_the_table_puts_them();
    void captions_fit_their_controls();
    void initial_values_and_window();
    void input_field_typed_name_and_run_button();
    void typed_paths_and_the_proposed_output();
    void keyboard_focus_tab_and_swatch_keys();
    void saved_position_is_clamped_on_screen();
    void input_file_button_proposes_the_archive();
    void output_file_button_keeps_the_name_as_chosen();
    void configuration_buttons_use_their_dialogs();
    void spinners_through_their_arrows();
    void date_mask_refuses_an_incomplete_date();
    void drops_of_one_and_of_two_files();
    void a_single_argument_opens_the_log_as_a_drop_does();
    void file_dialogs_start_at_home_beside_an_installed_program();
    void swatches_open_the_colour_dialog_while_enabled();
    void settings_first_start_and_partial_file();
    void settings_value_forms();
    void settings_saved_file_loads_back();
    void close_prompt_compares_the_nine_values();
    void close_prompt_save_failure_keeps_the_window_open();
    void settings_without_a_home_are_said_not_saved_once();
    void locking_and_unlocking_the_options();
    void general_error_report();
};

void WindowFormTest::controls_sit_where_the_table_puts_them() {
    Fixture f;
    struct Place {
        const char* name;
        const char* parent;
        QRect rect;  // an empty size: a label that sizes itself
    };
    const Place places[] = {
        {"Image1", "Form1", {8, 4, 193, 165}},
        {"GroupBox1", "Form1", {2, 172, 202, 69}},
        {"RadioGroup1", "GroupBox1", {8, 14, 191, 30}},
        {"Edit1", "GroupBox1", {8, 46, 167, 18}},
        {"SpeedButtonOpen", "GroupBox1", {176, 46, 18, 18}},
        {"GroupBox10", "Form1", {2, 240, 202, 40}},
        {"Edit6", "GroupBox10", {8, 15, 167, 18}},
        {"SpeedButtonSave", "GroupBox10", {176, 15, 18, 18}},
        {"GroupBox3", "Form1", {205, 0, 191, 280}},
        {"GroupBox11", "GroupBox3", {4, 13, 181, 110}},
        {"Label2", "GroupBox11", {8, 16, 0, 0}},
        {"Autoshape", "GroupBox11", {64, 16, 15, 15}},
        {"Label4", "GroupBox11", {8, 32, 0, 0}},
        {"Diffshape", "GroupBox11", {64, 32, 15, 15}},
        {"Label5", "GroupBox11", {8, 48, 0, 0}},
        {"RTKFixshape", "GroupBox11", {64, 48, 15, 15}},
        {"Label6", "GroupBox11", {88, 16, 0, 0}},
        {"Invalidshape", "GroupBox11", {160, 16, 15, 15}},
        {"Label7", "GroupBox11", {88, 32, 0, 0}},
        {"RTKFloatshape", "GroupBox11", {160, 32, 15, 15}},
        {"Label8", "GroupBox11", {88, 48, 0, 0}},
        {"Estematedshape", "GroupBox11", {160, 48, 15, 15}},
        {"Label9", "GroupBox11", {8, 72, 0, 0}},
        {"Edit4", "GroupBox11", {64, 70, 33, 18}},
        {"UpDown2", "GroupBox11", {97, 70, 16, 18}},
        {"CheckBox3", "GroupBox11", {8, 90, 141, 17}},
        {"GroupBox5", "GroupBox3", {4, 127, 181, 106}},
        {"Label1", "GroupBox5", {8, 16, 0, 0}},
        {"ShapeStyleTrack", "GroupBox5", {136, 14, 15, 15}},
        {"Label3", "GroupBox5", {8, 30, 0, 0}},
        {"ShapeFullTrack", "GroupBox5", {136, 30, 15, 15}},
        {"Width", "GroupBox5", {8, 52, 0, 0}},
        {"Edit3", "GroupBox5", {112, 50, 25, 18}},
        {"UpDown1", "GroupBox5", {137, 50, 16, 18}},
        {"CheckBox4", "GroupBox5", {8, 69, 97, 17}},
        {"CheckBox2", "GroupBox5", {8, 84, 145, 17}},
        {"GroupBox4", "GroupBox3", {4, 237, 181, 38}},
        {"CheckBox1", "GroupBox4", {8, 17, 17, 17}},
        {"MaskEdit1", "GroupBox4", {27, 16, 86, 18}},
        {"GroupBox9", "Form1", {2, 280, 394, 35}},
        {"SpeedButton3", "GroupBox9", {9, 9, 57, 19}},
        {"CGauge1", "GroupBox9", {66, 9, 319, 19}},
        {"GroupBox2", "Form1", {2, 314, 394, 40}},
        {"Edit2", "GroupBox2", {6, 15, 335, 19}},
        {"SpeedButton1", "GroupBox2", {343, 15, 19, 19}},
        {"SpeedButton2", "GroupBox2", {364, 15, 19, 19}},
        {"Panel2", "Form1", {2, 355, 199, 20}},
        {"Panel3", "Form1", {202, 355, 193, 20}},
    };
    for (const Place& p : places) {
        auto* w = f.form->findChild<QWidget*>(QString::fromLatin1(p.name));
        QVERIFY2(w, p.name);
        QCOMPARE(w->parentWidget()->objectName(), QString::fromLatin1(p.parent));
        if (p.rect.width() == 0) QCOMPARE(w->pos(), p.rect.topLeft());
        else QCOMPARE(w->geometry(), p.rect);
    }
}

// Nothing may be clipped: every caption fits the control the table gives it,
// and a self-sizing label ends before its neighbour.
void WindowFormTest::captions_fit_their_controls() {
    Fixture f;
    const FormControls& c = *f.c;
    for (QCheckBox* cb : {c.show_height_check, c.start_first_fix_check, c.all_epochs_check})
        QVERIFY2(cb->sizeHint().width() <= cb->width(), qPrintable(cb->objectName()));
    auto ends_before = [](QLabel* l, QWidget* next) {
        return l->x() + l->fontMetrics().horizontalAdvance(l->text()) < next->x();
    };
    QVERIFY(ends_before(c.auto_caption, c.auto_swatch));
    QVERIFY(ends_before(c.rtk_fix_caption, c.rtk_fix_swatch));
    QVERIFY(ends_before(c.rtk_float_caption, c.rtk_float_swatch));
    QVERIFY(ends_before(c.estimated_caption, c.estimated_swatch));
    QVERIFY(ends_before(c.scale_caption, c.scale_edit));
    QVERIFY(ends_before(c.track_caption, c.track_swatch));
    QVERIFY(ends_before(c.all_epochs_caption, c.all_epochs_swatch));
    QVERIFY(ends_before(c.width_caption, c.width_edit));
    for (QGroupBox* g : f.form->findChildren<QGroupBox*>()) {
        int room = g->width() - 12;
        QVERIFY2(g->fontMetrics().horizontalAdvance(g->title()) <= room, qPrintable(g->title()));
    }
    for (QRadioButton* r : {c.nmea_radio, c.binary_radio, c.solution_radio})
        QVERIFY(r->sizeHint().width() <= r->width());
    QVERIFY(c.run_button->sizeHint().width() <= c.run_button->width());
    // The date and the numbers fit inside their fields.
    auto fits = [](QLineEdit* e, const QString& text) {
        return e->fontMetrics().horizontalAdvance(text) + 6 <= e->width();
    };
    QVERIFY(fits(c.fixed_date_edit, QStringLiteral("2000-01-01")));
    QVERIFY(fits(c.scale_edit, QStringLiteral("0.5")) && fits(c.scale_edit, QStringLiteral("1.0")));
    QVERIFY(fits(c.width_edit, QStringLiteral("10")));
    for (QLineEdit* e : f.form->findChildren<QLineEdit*>())
        QVERIFY2(e->fontMetrics().height() <= e->height(), qPrintable(e->objectName()));
    // The substitute typefaces are the ones actually used.
    QCOMPARE(QFontInfo(c.auto_caption->font()).family(), QStringLiteral("Liberation Mono"));
    QCOMPARE(QFontInfo(c.show_height_check->font()).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(QFontInfo(c.input_edit->font()).family(), QStringLiteral("Liberation Serif"));
}

void WindowFormTest::initial_values_and_window() {
    Fixture f(false);  // as created, before start-up loads the settings
    const FormControls& c = *f.c;
    QCOMPARE(f.form->windowTitle(), QStringLiteral("ZelvoConverter  Ver 6.0"));
    QCOMPARE(f.form->size(), QSize(399, 377));
    QCOMPARE(f.form->minimumSize(), f.form->maximumSize());
    Qt::WindowFlags flags = f.form->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint) && !(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(f.form->acceptDrops());
    QCOMPARE(f.form->pos(), QPoint(616, 315));

    QCOMPARE(c.input_group->title(), QStringLiteral(">>>Input"));
    QCOMPARE(c.format_group->title(), QStringLiteral("Format "));
    QCOMPARE(c.output_group->title(), QStringLiteral(">>>Output(.kmz)"));
    QCOMPARE(c.settings_group->title(), QStringLiteral(">>> Settings"));
    QCOMPARE(c.waypoints_group->title(), QStringLiteral(" Waypoints"));
    QCOMPARE(c.track_group->title(), QStringLiteral(" Style Track"));
    QCOMPARE(c.date_group->title(), QStringLiteral("Date(yyyy-mm-dd)"));
    QCOMPARE(c.config_group->title(), QStringLiteral("Configuration"));
    QVERIFY(c.run_group->title().isEmpty());
    QCOMPARE(c.nmea_radio->text(), QStringLiteral("NMEA"));
    QCOMPARE(c.binary_radio->text(), QStringLiteral("TOLV"));
    QCOMPARE(c.solution_radio->text(), QStringLiteral("POS"));
    QVERIFY(c.nmea_radio->isChecked());
    QCOMPARE(c.rtk_float_caption->text(), QStringLiteral("RTK Float"));
    QCOMPARE(c.all_epochs_caption->text(), QStringLiteral("All the waypoints"));
    QCOMPARE(c.width_caption->text(), QStringLiteral("Width of the track"));
    QCOMPARE(c.show_height_check->text(), QStringLiteral("Show value of height"));
    QCOMPARE(c.all_epochs_check->text(), QStringLiteral("Use all the waypoints"));
    QCOMPARE(c.run_button->text(), QStringLiteral("Run"));

    QCOMPARE(c.auto_swatch->color(), kRed);
    QCOMPARE(c.diff_swatch->color(), kYellow);
    QCOMPARE(c.rtk_fix_swatch->color(), kGreen);
    QCOMPARE(c.invalid_swatch->color(), kBlack);
    QCOMPARE(c.rtk_float_swatch->color(), kFuchsia);
    QCOMPARE(c.estimated_swatch->color(), kAqua);
    QCOMPARE(c.track_swatch->color(), kGreen);
    QCOMPARE(c.all_epochs_swatch->color(), kRed);
    QCOMPARE(c.scale_edit->text(), QStringLiteral("0.5"));
    QCOMPARE(c.width_edit->text(), QStringLiteral("5"));
    QVERIFY(c.width_edit->isReadOnly() && c.scale_edit->isReadOnly());
    QCOMPARE(c.width_arrows->position(), 5);
    QCOMPARE(c.scale_arrows->position(), 1);
    QVERIFY(c.fixed_date_check->isChecked());
    QVERIFY(!c.all_epochs_check->isChecked() && !c.show_height_check->isChecked());
    QVERIFY(!c.start_first_fix_check->isEnabled() && c.start_first_fix_check->isHidden());
    QCOMPARE(c.fixed_date_edit->text(), QStringLiteral("2000-01-01"));
    QCOMPARE(c.fixed_date_edit->inputMask(), QStringLiteral("0000-00-00;_"));
    QCOMPARE(c.fixed_date_edit->maxLength(), 10);
    QVERIFY(!c.fixed_date_edit->isEnabled());  // until the settings are loaded
    QVERIFY(!c.run_button->isEnabled());
    QCOMPARE(c.gauge->minimum(), 0);
    QCOMPARE(c.gauge->maximum(), 100);
    QCOMPARE(c.gauge->value(), 0);
    for (int i = 0; i < 37; ++i) f.form->advance_progress();
    QCOMPARE(c.gauge->text(), QStringLiteral("37%"));
    for (int i = 0; i < 80; ++i) f.form->advance_progress();
    QCOMPARE(c.gauge->value(), 100);
    QVERIFY(c.input_edit->text().isEmpty() && c.output_edit->text().isEmpty() && c.config_edit->text().isEmpty());
    QVERIFY(f.form->is_interactive());
}

void WindowFormTest::input_field_typed_name_and_run_button() {
    Fixture f;
    const FormControls& c = *f.c;
    QTest::keyClicks(c.input_edit, QStringLiteral("day1.nmea"));
    QCOMPARE(f.form->input_full_path(), f.dir() + QStringLiteral("day1.nmea"));
    QCOMPARE(c.input_edit->toolTip(), f.form->input_full_path());
    QVERIFY(c.run_button->isEnabled());
    c.input_edit->clear();
    QVERIFY(!c.run_button->isEnabled());

    // Once a directory is known, a typed name joins it.
    f.dialogs.files.push_back(QStringLiteral("/data/logs/day1.nmea"));
    f.form->choose_input_file();
    c.input_edit->setText(QStringLiteral("day2.nmea"));
    QCOMPARE(f.form->input_full_path(), QStringLiteral("/data/logs/day2.nmea"));
    // A new input name proposes its archive; a typed output name joins the
    // output's directory.
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/data/logs/day2.nmea.kmz"));
    c.output_edit->setText(QStringLiteral("other.kmz"));
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/data/logs/other.kmz"));
    // The configuration field's full path is its text.
    c.config_edit->setText(QStringLiteral("my.ini"));
    QCOMPARE(f.form->config_full_path(), QStringLiteral("my.ini"));
}

void WindowFormTest::typed_paths_and_the_proposed_output() {
    Fixture f;
    const FormControls& c = *f.c;
    const struct {
        const char* chosen;  // the last file chosen before typing, or none
        const char* typed;
        const char* input;
    } cases[] = {
        {nullptr, "/abs/path/log.nmea", "/abs/path/log.nmea"},
        {"/data/logs/day1.nmea", "/abs/path/log.nmea", "/abs/path/log.nmea"},
        {"/data/logs/day1.nmea", "sub/day2.nmea", "/data/logs/sub/day2.nmea"},
    };
    for (const auto& k : cases) {
        if (k.chosen) {
            f.dialogs.files.push_back(QString::fromLatin1(k.chosen));
            f.form->choose_input_file();
        }
        c.input_edit->clear();
        QTest::keyClicks(c.input_edit, QString::fromLatin1(k.typed));  // one key at a time
        QCOMPARE(f.form->input_full_path(), QString::fromLatin1(k.input));
        QCOMPARE(f.form->output_full_path(), QString::fromLatin1(k.input) + QStringLiteral(".kmz"));
        QCOMPARE(c.output_edit->text(), f.form->output_full_path().mid(f.form->output_full_path().lastIndexOf('/') + 1));
    }
    // A typed relative name with nothing chosen yet joins the program's directory.
    Fixture g;
    QTest::keyClicks(g.c->input_edit, QStringLiteral("a.nmea"));
    QCOMPARE(g.form->input_full_path(), g.dir() + QStringLiteral("a.nmea"));

    // Once the user names the output, a new input leaves it; choosing a log
    // proposes again, and so does emptying the output field.
    c.output_edit->clear();
    QTest::keyClicks(c.output_edit, QStringLiteral("/out/mine.kmz"));
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/out/mine.kmz"));
    QTest::keyClicks(c.input_edit, QStringLiteral("x"));
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/out/mine.kmz"));
    c.output_edit->clear();
    QTest::keyClicks(c.input_edit, QStringLiteral("y"));
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/data/logs/sub/day2.nmeaxy.kmz"));
    f.dialogs.files.push_back(QStringLiteral("/out/chosen.kmz"));
    f.form->choose_output_file();
    QTest::keyClicks(c.input_edit, QStringLiteral("z"));
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/out/chosen.kmz"));
    f.dialogs.files.push_back(QStringLiteral("/data/logs/day3.nmea"));
    f.form->choose_input_file();
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/data/logs/day3.nmea.kmz"));
}

void WindowFormTest::keyboard_focus_tab_and_swatch_keys() {
    Fixture f;
    const FormControls& c = *f.c;
    c.all_epochs_check->setChecked(true);  // the all-epochs swatch takes part
    f.form->show();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(c.input_edit));

    QSet<QWidget*> reached;
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.insert(QApplication::focusWidget());
    }
    const std::vector<ColorSwatch*> swatches = {c.auto_swatch, c.diff_swatch, c.rtk_fix_swatch, c.invalid_swatch,
                                                c.rtk_float_swatch, c.estimated_swatch, c.track_swatch,
                                                c.all_epochs_swatch};
    for (ColorSwatch* s : swatches) QVERIFY2(reached.contains(s), qPrintable(s->objectName()));

    // Space and Enter on a swatch open its dialog; Enter is not a Run there.
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
        f.dialogs.colors.push_back(ColorRef{0x123456});
        c.diff_swatch->setFocus();
        QTest::keyClick(c.diff_swatch, key);
        QCOMPARE(c.diff_swatch->color(), ColorRef{0x123456});
        c.diff_swatch->set_color(kYellow);
    }
    QCOMPARE(f.dialogs.count("color"), 2);
    // Enter on a focused button presses that button.
    f.dialogs.files.push_back(std::nullopt);
    c.input_button->setFocus();
    QTest::keyClick(c.input_button, Qt::Key_Return);
    QCOMPARE(f.dialogs.count("open"), 1);
}

void WindowFormTest::saved_position_is_clamped_on_screen() {
    Fixture f;
    std::string ini = f.scratch.write("far.ini", "[Settings]\nLeft=3000\nTop=2000\n");
    f.form->settings().load_settings(ini);
    QRect screen = f.form->screen()->availableGeometry();
    QVERIFY2(screen.contains(f.form->frameGeometry()), "the whole window is on the screen");
    // A position already on the screen stays as saved.
    f.form->settings().load_settings(f.scratch.write("near.ini", "[Settings]\nLeft=20\nTop=30\n"));
    QCOMPARE(f.form->pos(), QPoint(20, 30));
}

void WindowFormTest::input_file_button_proposes_the_archive() {
    Fixture f;
    const FormControls& c = *f.c;
    f.dialogs.files.push_back(std::nullopt);  // cancelled: nothing changes
    QTest::mouseClick(c.input_button, Qt::LeftButton);
    QCOMPARE(f.dialogs.last("open")->caption, QStringLiteral("Open"));
    QCOMPARE(f.dialogs.last("open")->text, f.dir());  // no name yet: the executable's directory
    QVERIFY(f.dialogs.last("open")->filter.isEmpty());
    QVERIFY(c.input_edit->text().isEmpty() && !c.run_button->isEnabled());

    f.dialogs.files.push_back(QStringLiteral("/data/logs/day1.nmea"));
    QTest::mouseClick(c.input_button, Qt::LeftButton);
    QCOMPARE(c.input_edit->text(), QStringLiteral("day1.nmea"));
    QCOMPARE(c.output_edit->text(), QStringLiteral("day1.nmea.kmz"));
    QCOMPARE(c.input_edit->toolTip(), QStringLiteral("/data/logs/day1.nmea"));
    QCOMPARE(c.output_edit->toolTip(), QStringLiteral("/data/logs/day1.nmea.kmz"));
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/data/logs/day1.nmea.kmz"));
    QVERIFY(c.run_button->isEnabled());

    // The same name in another directory still moves the full path.
    f.dialogs.files.push_back(QStringLiteral("/other/day1.nmea"));
    QTest::mouseClick(c.input_button, Qt::LeftButton);
    QCOMPARE(f.dialogs.last("open")->text, QStringLiteral("/data/logs/"));
    QCOMPARE(f.form->input_full_path(), QStringLiteral("/other/day1.nmea"));
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/other/day1.nmea.kmz"));
}

void WindowFormTest::output_file_button_keeps_the_name_as_chosen() {
    Fixture f;
    const FormControls& c = *f.c;
    f.dialogs.files.push_back(QStringLiteral("/out/track"));
    QTest::mouseClick(c.output_button, Qt::LeftButton);
    const DialogCall* call = f.dialogs.last("save");
    QCOMPARE(call->caption, QStringLiteral("Save as "));
    QVERIFY(call->filter.isEmpty());
    QCOMPARE(c.output_edit->text(), QStringLiteral("track"));  // no extension added
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/out/track"));

    f.dialogs.files.push_back(std::nullopt);
    QTest::mouseClick(c.output_button, Qt::LeftButton);
    QCOMPARE(f.dialogs.last("save")->text, QStringLiteral("/out/"));
    QCOMPARE(f.dialogs.last("save")->file_name, QStringLiteral("/out/track"));
    QCOMPARE(c.output_edit->text(), QStringLiteral("track"));

    // An empty field: the dialog keeps the name of its last use.
    c.output_edit->clear();
    f.dialogs.files.push_back(std::nullopt);
    QTest::mouseClick(c.output_button, Qt::LeftButton);
    QCOMPARE(f.dialogs.last("save")->file_name, QStringLiteral("/out/track"));
}

void WindowFormTest::configuration_buttons_use_their_dialogs() {
    Fixture f;
    const FormControls& c = *f.c;
    std::string conf = f.scratch.write("conf/a.ini", "");  // directory missing: write fails
    QVERIFY(conf.size());
    std::string ini = f.scratch.write("mine.ini", "[Settings]\nEdit3=7\n");
    f.dialogs.files.push_back(QString::fromStdString(ini));
    QTest::mouseClick(c.config_open_button, Qt::LeftButton);
    const DialogCall* open = f.dialogs.last("open");
    QCOMPARE(open->caption, QStringLiteral("Open "));
    QCOMPARE(open->filter, QStringLiteral("Configuration (*.ini);;All files (*)"));
    const QString open_filter = open->filter;  // the record goes when more calls are recorded
    QCOMPARE(c.config_edit->text(), QStringLiteral("mine.ini"));
    QCOMPARE(f.form->config_full_path(), QString::fromStdString(ini));
    QCOMPARE(c.width_edit->text(), QStringLiteral("7"));
    QCOMPARE(f.form->settings().loaded_settings().track_width, std::string("7"));

    // Save: preset to the default path; a bare name goes beside it with ".ini".
    f.dialogs.files.push_back(QStringLiteral("saved"));
    QTest::mouseClick(c.config_save_button, Qt::LeftButton);
    const DialogCall* save = f.dialogs.last("save");
    QCOMPARE(save->caption, QStringLiteral("Save as"));
    QCOMPARE(save->text, f.dir());
    QCOMPARE(save->file_name, f.dir() + QStringLiteral("zelvoconverter.ini"));
    QCOMPARE(save->filter, open_filter);
    QVERIFY(f.scratch.read("saved.ini").find("Edit3=7") != std::string::npos);
    QCOMPARE(c.config_edit->text(), QStringLiteral("mine.ini"));  // unchanged by a save

    f.dialogs.files.push_back(QString::fromStdString(f.scratch.path() + "cfg/none"));
    QTest::mouseClick(c.config_save_button, Qt::LeftButton);  // directory missing
    QCOMPARE(f.dialogs.last("error")->text,
             QString::fromStdString("Unable to write to " + f.scratch.path() + "cfg/none."));
}

void WindowFormTest::spinners_through_their_arrows() {
    Fixture f;
    const FormControls& c = *f.c;
    auto up = [](UpDown* u) { QTest::mouseClick(u->up_button(), Qt::LeftButton); };
    auto down = [](UpDown* u) { QTest::mouseClick(u->down_button(), Qt::LeftButton); };
    up(c.width_arrows);
    QCOMPARE(c.width_edit->text(), QStringLiteral("6"));
    for (int i = 0; i < 6; ++i) up(c.width_arrows);
    QCOMPARE(c.width_edit->text(), QStringLiteral("10"));
    for (int i = 0; i < 12; ++i) down(c.width_arrows);
    QCOMPARE(c.width_edit->text(), QStringLiteral("1"));

    up(c.scale_arrows);
    QCOMPARE(c.scale_edit->text(), QStringLiteral("0.600000"));
    for (int i = 0; i < 4; ++i) up(c.scale_arrows);
    QCOMPARE(c.scale_edit->text(), QStringLiteral("1.000000"));
    up(c.scale_arrows);
    QCOMPARE(c.scale_edit->text(), QStringLiteral("1.0"));
    down(c.scale_arrows);
    QCOMPARE(c.scale_edit->text(), QStringLiteral("0.900000"));
    c.scale_edit->setText(QStringLiteral("0.100000"));
    down(c.scale_arrows);
    QCOMPARE(c.scale_edit->text(), QStringLiteral("0.1"));
    // Arrows keep reporting at the end of the spinner's own range.
    for (int i = 0; i < 120; ++i) up(c.scale_arrows);
    QCOMPARE(c.scale_arrows->position(), 100);
    c.scale_edit->setText(QStringLiteral("0.5"));
    up(c.scale_arrows);
    QCOMPARE(c.scale_edit->text(), QStringLiteral("0.600000"));
}

void WindowFormTest::date_mask_refuses_an_incomplete_date() {
    Fixture f;
    const FormControls& c = *f.c;
    f.form->show();
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    QVERIFY(c.fixed_date_edit->isEnabled());
    c.fixed_date_edit->setFocus();
    c.fixed_date_edit->selectAll();
    QTest::keyClicks(c.fixed_date_edit, QStringLiteral("2024a05"));  // the letter is refused
    QCOMPARE(c.fixed_date_edit->displayText(), QStringLiteral("2024-05-__"));
    c.config_edit->setFocus(Qt::TabFocusReason);
    QCOMPARE(f.dialogs.count("error"), 1);
    QCOMPARE(f.dialogs.last("error")->caption, QStringLiteral("ZelvoConverter"));
    QCOMPARE(f.dialogs.last("error")->text,
             QStringLiteral("Invalid input value.  Use escape key to abandon changes."));
    QVERIFY(c.fixed_date_edit->hasFocus());

    QTest::keyClick(c.fixed_date_edit, Qt::Key_Escape);  // back to the text on entry
    QCOMPARE(c.fixed_date_edit->text(), QStringLiteral("2000-01-01"));
    c.config_edit->setFocus(Qt::TabFocusReason);
    QCOMPARE(f.dialogs.count("error"), 1);

    c.fixed_date_edit->setFocus();
    c.fixed_date_edit->selectAll();
    QTest::keyClicks(c.fixed_date_edit, QStringLiteral("20240517"));
    c.config_edit->setFocus(Qt::TabFocusReason);
    QCOMPARE(f.dialogs.count("error"), 1);
    QCOMPARE(c.fixed_date_edit->text(), QStringLiteral("2024-05-17"));
    QCOMPARE(f.form->gather_options().fixed_date, std::string("2024-05-17"));

    // The fixed-date switch enables the field.
    QTest::mouseClick(c.fixed_date_check, Qt::LeftButton);
    QVERIFY(!c.fixed_date_check->isChecked() && !c.fixed_date_edit->isEnabled());
    QTest::mouseClick(c.fixed_date_check, Qt::LeftButton);
    QVERIFY(c.fixed_date_edit->isEnabled());
}

void WindowFormTest::drops_of_one_and_of_two_files() {
    Fixture f;
    const FormControls& c = *f.c;
    auto drop = [&](const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.form.get(), &enter);
        QDropEvent ev(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.form.get(), &ev);
        return enter.isAccepted();
    };
    QVERIFY(drop({QUrl::fromLocalFile(QStringLiteral("/data/a.log")),
                  QUrl::fromLocalFile(QStringLiteral("/data/b.log"))}));
    QCOMPARE(f.dialogs.count("warning"), 1);
    QCOMPARE(f.dialogs.last("warning")->caption, QStringLiteral("Warning"));
    QCOMPARE(f.dialogs.last("warning")->text,
             QString::fromUtf8("Работа с несколькими файлами не поддерживается!"));
    QVERIFY(c.input_edit->text().isEmpty() && c.output_edit->text().isEmpty());
    QVERIFY(!c.run_button->isEnabled());

    c.binary_radio->setChecked(true);
    QVERIFY(drop({QUrl::fromLocalFile(QStringLiteral("/data/day1.nmea"))}));
    QCOMPARE(c.input_edit->text(), QStringLiteral("day1.nmea"));
    QCOMPARE(c.output_edit->text(), QStringLiteral("day1.nmea.kmz"));
    QCOMPARE(f.form->input_full_path(), QStringLiteral("/data/day1.nmea"));
    QCOMPARE(f.form->output_full_path(), QStringLiteral("/data/day1.nmea.kmz"));
    QVERIFY(c.run_button->isEnabled());
    QVERIFY(c.binary_radio->isChecked());  // a log that cannot be read leaves the format alone
    QCOMPARE(f.dialogs.count("warning"), 1);

    // A log that can be read sets the format by its content; the user may change it after.
    const struct {
        std::string name, content;
        QRadioButton* chosen;
    } logs[] = {
        {"rover.pos", "%  GPST latitude(deg) longitude(deg) height(m) Q ns sdn(m) sde(m) sdu(m) sdne(m) sdeu(m)"
                      " sdun(m) age(s) ratio\n2137 422922.000 40.0 -105.0 1578.7 2 11 0.1 0.1 0.1 0 0 0 29.0 0.0\n",
         c.solution_radio},
        {"day2.nmea", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n", c.nmea_radio},
    };
    for (const auto& log : logs) {
        QVERIFY(drop({QUrl::fromLocalFile(QString::fromStdString(f.scratch.write(log.name, log.content)))}));
        QVERIFY(log.chosen->isChecked());
    }
    c.binary_radio->setChecked(true);
    QVERIFY(c.binary_radio->isChecked() && !c.nmea_radio->isChecked());
}

void WindowFormTest::a_single_argument_opens_the_log_as_a_drop_does() {
    Fixture dropped;
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped.scratch.path() + "day1.nmea"))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dropped.form.get(), &enter);
    QDropEvent ev(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dropped.form.get(), &ev);

    // The same file named relative to the current directory.
    Fixture opened;
    const QString old_cwd = QDir::currentPath();
    QDir::setCurrent(dropped.dir());
    open_log_argument(*opened.form, QStringLiteral("day1.nmea"));
    QDir::setCurrent(old_cwd);

    for (const Fixture* f : {&dropped, &opened}) {
        QCOMPARE(f->c->input_edit->text(), QStringLiteral("day1.nmea"));
        QCOMPARE(f->c->output_edit->text(), QStringLiteral("day1.nmea.kmz"));
        QCOMPARE(f->form->input_full_path(), dropped.dir() + QStringLiteral("day1.nmea"));
        QCOMPARE(f->form->output_full_path(), dropped.dir() + QStringLiteral("day1.nmea.kmz"));
        QCOMPARE(f->c->input_edit->toolTip(), f->form->input_full_path());
        QVERIFY(f->c->run_button->isEnabled());
    }
}

void WindowFormTest::file_dialogs_start_at_home_beside_an_installed_program() {
    ScriptedDialogs dialogs;
    Scratch home;
    SettingsLocation installed{"/nonexistent/bin/", "zelvoconverter", home.path() + "config",
                               home.path() + "user"};
    TForm1 form(dialogs, installed);
    form.choose_input_file();
    form.choose_output_file();
    form.open_config();
    const QString user = QString::fromStdString(home.path()) + QStringLiteral("user/");
    QCOMPARE(dialogs.calls.size(), std::size_t{3});
    for (const DialogCall& call : dialogs.calls) QCOMPARE(call.text, user);
}

void WindowFormTest::swatches_open_the_colour_dialog_while_enabled() {
    Fixture f;
    const FormControls& c = *f.c;
    f.dialogs.colors.push_back(ColorRef{0x123456});
    QTest::mousePress(c.diff_swatch, Qt::RightButton);  // any button
    QCOMPARE(f.dialogs.last("color")->text, QString::number(kYellow));
    QCOMPARE(c.diff_swatch->color(), ColorRef{0x123456});
    f.dialogs.colors.push_back(std::nullopt);
    QTest::mousePress(c.diff_swatch, Qt::LeftButton);
    QCOMPARE(c.diff_swatch->color(), ColorRef{0x123456});
    QCOMPARE(f.form->gather_options().color_diff, ColorRef{0x123456});

    // After a load from a file, update_track_controls has run: with
    // CheckBox2 clear the all-waypoints swatch does not react.
    f.form->settings().load_settings(f.scratch.write("s.ini", "[Settings]\n"));
    QVERIFY(!c.all_epochs_swatch->isEnabled() && !c.all_epochs_caption->isEnabled());
    int before = f.dialogs.count("color");
    QTest::mousePress(c.all_epochs_swatch, Qt::LeftButton);
    QCOMPARE(f.dialogs.count("color"), before);
    QTest::mouseClick(c.all_epochs_check, Qt::LeftButton);
    QVERIFY(c.all_epochs_swatch->isEnabled() && c.all_epochs_caption->isEnabled());
    f.dialogs.colors.push_back(ColorRef{0x00AA00});
    QTest::mousePress(c.all_epochs_swatch, Qt::LeftButton);
    QCOMPARE(c.all_epochs_swatch->color(), ColorRef{0x00AA00});
}

void WindowFormTest::settings_first_start_and_partial_file() {
    {
        Fixture f;  // no settings file: built-in defaults
        const FormControls& c = *f.c;
        QCOMPARE(c.track_swatch->color(), kRed);
        QCOMPARE(c.all_epochs_swatch->color(), kGreen);
        QVERIFY(c.fixed_date_check->isChecked() && c.fixed_date_edit->isEnabled());
        // update_track_controls has not run: the swatch stays enabled.
        QVERIFY(c.all_epochs_swatch->isEnabled() && c.all_epochs_caption->isEnabled());
        QCOMPARE(f.form->pos(), QPoint(616, 315));
        QVERIFY(f.form->close());  // nothing changed: no prompt
        QCOMPARE(f.dialogs.count("ask"), 0);
    }
    {
        Fixture f(false);
        const FormControls& c = *f.c;
        std::string path = f.scratch.write("only3.ini", "[Settings]\r\nCheckBox3=1\r\n");
        f.form->settings().load_settings(path);
        QVERIFY(c.show_height_check->isChecked());
        QCOMPARE(c.track_swatch->color(), kGreen);  // the form's initial value
        QCOMPARE(c.all_epochs_swatch->color(), kRed);
        QCOMPARE(c.width_edit->text(), QStringLiteral("5"));
        QCOMPARE(c.scale_edit->text(), QStringLiteral("0.5"));
        QCOMPARE(c.fixed_date_edit->text(), QStringLiteral("2000-01-01"));
        QVERIFY(c.fixed_date_check->isChecked() && c.fixed_date_edit->isEnabled());
        QVERIFY(!c.all_epochs_swatch->isEnabled());
        const SettingsValues& snap = f.form->settings().loaded_settings();
        QVERIFY(snap.show_height && snap.track_color == kGreen && snap.full_track_color == kRed);
        QVERIFY(snap.same_nine(f.form->settings().current_values()));
        QVERIFY(f.form->close());
        QCOMPARE(f.dialogs.count("ask"), 0);
    }
}

void WindowFormTest::settings_value_forms() {
    Fixture f;
    const FormControls& c = *f.c;
    f.form->settings().load_settings(f.scratch.write(
        "forms.ini", "[settings]\nshapestyletrack=0x0000FF\nCheckBox2=7\nCheckBox1=0\n"
                     "MaskEdit1=2023-12-31\nLeft=100\nTop=0x20\n"));
    QCOMPARE(c.track_swatch->color(), kRed);
    QVERIFY(c.all_epochs_check->isChecked() && c.all_epochs_swatch->isEnabled());
    QVERIFY(!c.fixed_date_check->isChecked() && !c.fixed_date_edit->isEnabled());
    QCOMPARE(c.fixed_date_edit->text(), QStringLiteral("2023-12-31"));
    QCOMPARE(f.form->pos(), QPoint(100, 32));
    f.form->settings().load_settings(f.scratch.write("blue.ini", "[Settings]\nShapeStyleTrack=blue\n"));
    QCOMPARE(c.track_swatch->color(), kRed);  // unreadable: unchanged
    QCOMPARE(f.form->settings().loaded_settings().track_color, kRed);
}

void WindowFormTest::settings_saved_file_loads_back() {
    Fixture f;
    const FormControls& c = *f.c;
    QTest::mouseClick(c.all_epochs_check, Qt::LeftButton);
    QTest::mouseClick(c.show_height_check, Qt::LeftButton);
    QTest::mouseClick(c.width_arrows->up_button(), Qt::LeftButton);
    QTest::mouseClick(c.scale_arrows->down_button(), Qt::LeftButton);
    c.all_epochs_swatch->set_color(0x00C0FF);
    c.fixed_date_edit->setText(QStringLiteral("2021-06-30"));
    QTest::mouseClick(c.fixed_date_check, Qt::LeftButton);
    f.form->move(40, 50);
    std::string path = f.scratch.path() + "round.ini";
    f.form->settings().save_settings(path);
    QString written = QString::fromStdString(f.scratch.read(path)).remove(QLatin1Char('\r'));
    QCOMPARE(written,
             QStringLiteral("[Settings]\nCheckBox1=0\nMaskEdit1=2021-06-30\nShapeStyleTrack=255\n"
                            "ShapeFullTrack=49407\nEdit3=6\nCheckBox2=1\nCheckBox4=0\n"
                            "CheckBox3=1\nEdit4=0.400000\nLeft=40\nTop=50\n"));
    SettingsValues saved = f.form->settings().current_values();

    Fixture g;
    g.form->settings().load_settings(path);
    QVERIFY(g.form->settings().current_values().same_nine(saved));
    QVERIFY(g.form->settings().loaded_settings().same_nine(saved));
    QCOMPARE(g.form->pos(), QPoint(40, 50));
}

void WindowFormTest::close_prompt_compares_the_nine_values() {
    {
        Fixture f;  // a waypoint colour, the paths and the format do not count
        f.c->auto_swatch->set_color(0x111111);
        f.c->binary_radio->setChecked(true);
        f.c->input_edit->setText(QStringLiteral("x.log"));
        f.form->move(10, 10);
        QVERIFY(f.form->close());
        QCOMPARE(f.dialogs.count("ask"), 0);
    }
    {
        Fixture f;  // the date compares without regard to case; an equal text asks nothing
        f.c->fixed_date_edit->setText(QStringLiteral("2000-01-01"));
        QVERIFY(f.form->close());
        QCOMPARE(f.dialogs.count("ask"), 0);
    }
    {
        Fixture f;  // changed, saved with the button: closing still asks; No saves nothing
        QTest::mouseClick(f.c->width_arrows->up_button(), Qt::LeftButton);
        f.dialogs.files.push_back(QString::fromStdString(f.scratch.path() + "button.ini"));
        f.form->save_config();
        f.dialogs.answers.push_back(false);
        QVERIFY(f.form->close());
        QCOMPARE(f.dialogs.count("ask"), 1);
        QCOMPARE(f.dialogs.last("ask")->caption, QStringLiteral("Information"));
        QCOMPARE(f.dialogs.last("ask")->text, QStringLiteral("The settings were changed. Save them?"));
        QVERIFY(f.scratch.read("zelvoconverter.ini").empty());
    }
    {
        Fixture f;  // Yes with an empty configuration path: the default path
        QTest::mouseClick(f.c->show_height_check, Qt::LeftButton);
        f.dialogs.answers.push_back(true);
        QVERIFY(f.form->close());
        QVERIFY(f.scratch.read("zelvoconverter.ini").find("CheckBox3=1") != std::string::npos);
    }
    {
        Fixture f;  // Yes with a configuration name: the save path rule
        f.c->config_edit->setText(QStringLiteral("mine"));
        QTest::mouseClick(f.c->all_epochs_check, Qt::LeftButton);
        f.dialogs.answers.push_back(true);
        QVERIFY(f.form->close());
        QVERIFY(f.scratch.read("mine.ini").find("CheckBox2=1") != std::string::npos);
    }
}

void WindowFormTest::close_prompt_save_failure_keeps_the_window_open() {
    Fixture f;
    f.c->config_edit->setText(QString::fromStdString(f.scratch.path() + "missing/dir.ini"));
    QTest::mouseClick(f.c->show_height_check, Qt::LeftButton);
    f.form->show();
    f.dialogs.answers.push_back(true);
    QVERIFY(!f.form->close());
    QVERIFY(f.form->isVisible());
    QCOMPARE(f.dialogs.count("error"), 1);
    QVERIFY(f.dialogs.last("error")->text.startsWith(QStringLiteral("Unable to write to ")));
    f.dialogs.answers.push_back(false);  // closing again asks again
    QVERIFY(f.form->close());
    QCOMPARE(f.dialogs.count("ask"), 2);
}

void WindowFormTest::settings_without_a_home_are_said_not_saved_once() {
    ScriptedDialogs dialogs;
    TForm1 form(dialogs, SettingsLocation{"/nonexistent/bin/", "zelvoconverter", "", ""});
    form.settings().load_settings(form.location().default_settings_path());
    QTest::mouseClick(form.controls().show_height_check, Qt::LeftButton);
    QVERIFY(form.close());
    QCOMPARE(dialogs.count("ask"), 0);
    QCOMPARE(dialogs.count("information"), 1);
    QVERIFY(dialogs.last("information")->text.contains(QStringLiteral("not saved")));
}

void WindowFormTest::locking_and_unlocking_the_options() {
    Fixture f;
    const FormControls& c = *f.c;
    QList<QGroupBox*> captioned = {c.settings_group, c.track_group, c.config_group,
                                   c.input_group, c.output_group, c.waypoints_group};
    QList<QWidget*> disabled = {c.settings_group, c.track_caption, c.all_epochs_caption, c.width_caption, c.width_edit, c.all_epochs_check,
                                c.start_first_fix_check, c.show_height_check, c.fixed_date_check, c.config_group, c.input_group,
                                c.input_edit, c.output_group, c.output_edit, c.waypoints_group};
    f.form->set_run_enabled(false);
    f.form->set_options_enabled(false);
    QVERIFY(!c.run_button->isEnabled());
    const QColor grey = QApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
    for (QGroupBox* g : captioned) QCOMPARE(caption_color(g), grey);
    for (QWidget* w : disabled) QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(!c.track_group->testAttribute(Qt::WA_ForceDisabled));  // not disabled itself
    // The lock leaves the swatches and spinners unreachable through their groups.
    QVERIFY(!c.auto_swatch->isEnabled() && !c.width_arrows->isEnabled() && !c.fixed_date_edit->isEnabled());

    f.form->set_run_enabled(true);
    f.form->set_options_enabled(true);
    for (QGroupBox* g : captioned) QCOMPARE(caption_color(g), QColor(Qt::black));
    for (QWidget* w : disabled) {
        if (w != c.start_first_fix_check) QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    }
    QVERIFY(c.start_first_fix_check->isEnabled() && c.start_first_fix_check->isHidden());  // unlocked with the others
    QVERIFY(c.run_button->isEnabled());
}

// Each setting's row names its control; what the control shows is what the
// run gets, also for the settings the file does not keep.
void WindowFormTest::every_setting_is_a_control_the_run_reads() {
    Fixture f;
    for (const Setting& s : kSettings) {
        if (!std::visit([](const auto& field) { return field.option != nullptr; }, s.field)) continue;
        QWidget* control = f.form->findChild<QWidget*>(QLatin1String(s.name));
        QVERIFY2(control, s.name);
        if (auto* check = qobject_cast<QCheckBox*>(control)) check->setChecked(!check->isChecked());
        else if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->setText(QStringLiteral("0007-07-07"));
        else if (auto* swatch = qobject_cast<ColorSwatch*>(control)) swatch->set_color(0x123456);
        else QFAIL(s.name);
        const ConversionOptions before;
        const ConversionOptions now = f.form->gather_options();
        std::visit([&](const auto& field) { QVERIFY2(now.*field.option != before.*field.option, s.name); }, s.field);
    }
}

void WindowFormTest::general_error_report() {
    Fixture f;
    f.form->report_error(QStringLiteral("Cannot create file /x/255.png"));
    QCOMPARE(f.dialogs.last("error")->caption, QStringLiteral("ZelvoConverter"));
    QCOMPARE(f.dialogs.last("error")->text, QStringLiteral("Cannot create file /x/255.png."));
    f.form->report_error(QStringLiteral("Stopped!"));
    QCOMPARE(f.dialogs.last("error")->text, QStringLiteral("Stopped!"));
    f.form->report_error(QString());
    QCOMPARE(f.dialogs.last("error")->text, QString());
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setStyle(QStringLiteral("Fusion"));
    WindowFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_form_test.moc"
