#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

#include <cstring>
#include <optional>
#include <span>
#include <tuple>
#include <utility>
#include <variant>

#include "engine/conversion_run.h"
#include "engine/input_formats.h"
#include "engine/summary_report.h"
#include "ui/window_controls.h"
#include "ui/window_dialogs.h"
#include "ui/window_rules.h"
#include "ui/settings_table.h"
#include "ui/window_settings.h"

namespace zelvo {

namespace {

// The window's typefaces: Liberation Sans stands in for MS Sans Serif and
// Tahoma, Liberation Serif for Times New Roman, Liberation Mono for Courier
// New. Sizes are in pixels so that the layout does not follow the screen's
// DPI: 8 pt at 96 dpi is 11 px.
QFont pixel_font(const char* family, int px, bool bold = false) {
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(px);
    f.setBold(bold);
    f.setStyleHint(QFont::AnyStyle, QFont::PreferMatch);
    return f;
}
QFont sans_font(bool bold = false) { return pixel_font("Liberation Sans", 11, bold); }
QFont mono_font(bool bold = false) { return pixel_font("Liberation Mono", 11, bold); }
QFont mono9_font() { return pixel_font("Liberation Mono", 12); }
QFont serif10_font() { return pixel_font("Liberation Serif", 12); }

QString to_qstring(const std::string& s) { return QString::fromStdString(s); }
std::string to_path(const QString& s) { return QFile::encodeName(s).toStdString(); }
QString from_path(const std::string& s) { return QFile::decodeName(QByteArray::fromStdString(s)); }

QString dir_of(const QString& path) {
    int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}
QString name_of(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

// The decorative picture: a 16-colour drawing of a globe with a track of
// arrow waypoints across it, 218 x 171 and stretched into its place.
QPixmap decorative_picture() {
    QImage img(218, 171, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(0, 0, 128), 2));
    p.setBrush(QColor(0, 128, 128));
    p.drawEllipse(QPoint(109, 86), 80, 80);
    p.setBrush(QColor(0, 128, 0));
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygon({{70, 40}, {110, 30}, {130, 55}, {115, 80}, {80, 75}, {60, 55}}));
    p.drawPolygon(QPolygon({{120, 100}, {160, 95}, {170, 120}, {140, 145}, {115, 130}}));
    p.setPen(QPen(QColor(255, 255, 0), 3));
    QPolygon track({{40, 130}, {75, 110}, {100, 120}, {130, 85}, {160, 70}, {190, 40}});
    p.drawPolyline(track);
    const QColor marks[] = {Qt::red, Qt::yellow, Qt::green, Qt::magenta, Qt::cyan, Qt::black};
    for (int i = 0; i < track.size(); ++i) {
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(marks[i]);
        QPoint q = track[i];
        p.drawPolygon(QPolygon({{q.x(), q.y() - 8}, {q.x() + 6, q.y() + 6}, {q.x(), q.y() + 2},
                                {q.x() - 6, q.y() + 6}}));
    }
    p.end();
    return QPixmap::fromImage(img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)
                                  .convertToFormat(QImage::Format_ARGB32));
}

QIcon window_icon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(QColor(0, 160, 0));
    p.drawPolygon(QPolygonF({{16, 2}, {28, 29}, {16, 21}, {4, 29}}));
    return QIcon(pm);
}

// The controls' factories: each makes one control with its object name,
// place and font, owned by its parent.

QGroupBox* make_group(QWidget* parent, const char* name, const QString& title, QRect r, const QFont& font) {
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(QString::fromLatin1(name));
    g->setGeometry(r);
    g->setFont(font);
    return g;
}

QLabel* make_label(QWidget* parent, const char* name, const QString& text, int x, int y, const QFont& font) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(font);
    l->move(x, y);
    l->adjustSize();  // the label sizes itself to its caption
    return l;
}

QLineEdit* make_edit(QWidget* parent, const char* name, QRect r, const QFont& font) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(r);
    e->setFont(font);
    e->setTextMargins(0, 0, 0, 0);
    return e;
}

// A number the user changes only with the spinner beside it.
ColorSwatch* make_swatch(QWidget* parent, const char* name, int x, int y, ColorRef color) {
    auto* s = new ColorSwatch(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setGeometry(x, y, 15, 15);
    s->set_color(color);
    return s;
}

// A caption and the colour swatch beside it.
struct ColourRow {
    QLabel* FormControls::*caption;
    const char* caption_name;
    const char* text;  // translated as it is made
    QPoint at;
    ColorSwatch* FormControls::*swatch;
    const char* swatch_name;
    QPoint swatch_at;
};

using F = FormControls;

// The colour a swatch starts with: its setting's (settings_table.h).
ColorRef initial_colour(const ConversionOptions& initial, const char* swatch_name) {
    for (const Setting& s : kSettings) {
        const auto* f = std::get_if<SettingField<ColorRef>>(&s.field);
        if (f && f->option && std::strcmp(s.name, swatch_name) == 0) return initial.*f->option;
    }
    return 0;
}

// The class colours in two columns, then the tracks' colours.
const ColourRow kClassColours[] = {
    {&F::auto_caption, "Label2", QT_TR_NOOP("Auto"), {8, 16}, &F::auto_swatch, "Autoshape", {64, 16}},
    {&F::diff_caption, "Label4", QT_TR_NOOP("Diff"), {8, 32}, &F::diff_swatch, "Diffshape", {64, 32}},
    {&F::rtk_fix_caption, "Label5", QT_TR_NOOP("RTK Fix"), {8, 48}, &F::rtk_fix_swatch, "RTKFixshape", {64, 48}},
    {&F::invalid_caption, "Label6", QT_TR_NOOP("Invalid"), {88, 16}, &F::invalid_swatch, "Invalidshape", {160, 16}},
    {&F::rtk_float_caption, "Label7", QT_TR_NOOP("RTK Float"), {88, 32}, &F::rtk_float_swatch, "RTKFloatshape", {160, 32}},
    {&F::estimated_caption, "Label8", QT_TR_NOOP("Estimated"), {88, 48}, &F::estimated_swatch, "Estematedshape", {160, 48}},
};
const ColourRow kTrackColours[] = {
    {&F::track_caption, "Label1", QT_TR_NOOP("Valid Track"), {8, 16}, &F::track_swatch, "ShapeStyleTrack", {136, 14}},
    {&F::all_epochs_caption, "Label3", QT_TR_NOOP("All the waypoints"), {8, 30}, &F::all_epochs_swatch, "ShapeFullTrack", {136, 30}},
};

void make_colour_rows(QWidget* parent, std::span<const ColourRow> rows, const ConversionOptions& initial,
                      FormControls& c) {
    for (const ColourRow& row : rows) {
        c.*row.caption = make_label(parent, row.caption_name, TForm1::tr(row.text), row.at.x(), row.at.y(),
                                    mono_font(true));
        c.*row.swatch = make_swatch(parent, row.swatch_name, row.swatch_at.x(), row.swatch_at.y(), initial_colour(initial, row.swatch_name));
    }
}

// After its caption, a read-only number field and, at its right edge, the
// arrows that step it.
std::tuple<QLabel*, QLineEdit*, UpDown*> make_stepper(QLabel* caption, const char* field_name, QRect field,
                                                      const std::string& initial, const char* arrows_name,
                                                      int position, int minimum, int maximum) {
    QWidget* parent = caption->parentWidget();
    QLineEdit* e = make_edit(parent, field_name, field, sans_font());
    e->setReadOnly(true);
    e->setText(to_qstring(initial));
    auto* u = new UpDown(position, minimum, maximum, parent);
    u->setObjectName(QString::fromLatin1(arrows_name));
    u->setGeometry(field.x() + field.width(), field.y(), 16, field.height());
    return {caption, e, u};
}

QToolButton* make_button(QWidget* parent, const char* name, QRect r, QStyle::StandardPixmap icon) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(r);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setIconSize(QSize(12, 12));
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

QCheckBox* make_check(QWidget* parent, const char* name, const QString& text, QRect r, bool on) {
    auto* cb = new QCheckBox(text, parent);
    cb->setObjectName(QString::fromLatin1(name));
    cb->setGeometry(r);
    cb->setFont(sans_font(true));
    cb->setChecked(on);
    return cb;
}

QRadioButton* make_radio(QWidget* parent, const char* name, const QString& text, QRect r) {
    auto* rb = new QRadioButton(text, parent);
    rb->setObjectName(QString::fromLatin1(name));
    rb->setGeometry(r);
    rb->setFont(mono_font());
    return rb;
}

// A status panel: a lowered inner bevel.
QLabel* make_panel(QWidget* parent, const char* name, QRect r) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(r);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setLineWidth(1);
    l->setAlignment(Qt::AlignCenter);
    l->setFont(sans_font());
    return l;
}
}  // namespace

TForm1::TForm1(WindowDialogs& dialogs, SettingsLocation location, bool interactive,
               QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      dialogs_(dialogs),
      location_(std::move(location)),
      interactive_(interactive),
      settings_(std::make_unique<SettingsFile>(*this)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(tr("ZelvoConverter  Ver 6.0"));
    setWindowIcon(window_icon());
    setFixedSize(399, 377);
    move(kInitialLeft, kInitialTop);
    setFont(sans_font());
    setAcceptDrops(true);
    create_controls();
    connect_controls();
    // Start-up: gauge range and position, and an empty configuration field.
    c_.gauge->set_range(0, 100);
    c_.gauge->set_value(0);
    c_.config_edit->setText(QString());
    config_full_path_.clear();
    c_.input_edit->setFocus(Qt::OtherFocusReason);  // a user starts by naming the log
}

TForm1::~TForm1() = default;

// The controls are made in their tab order: the focus moves through them in
// the order they were created.
void TForm1::create_controls() {
    const ConversionOptions initial;  // the controls' values before any load
    create_input_output_controls();
    create_settings_controls(initial);
    create_run_controls();
}

// The picture, then the input log's format and name, then the archive's name.
void TForm1::create_input_output_controls() {
    c_.picture = new QLabel(this);
    c_.picture->setObjectName(QStringLiteral("Image1"));
    c_.picture->setGeometry(8, 4, 193, 165);
    c_.picture->setPixmap(decorative_picture());
    c_.picture->setScaledContents(true);
    c_.picture->setAttribute(Qt::WA_TranslucentBackground);

    c_.input_group = make_group(this, "GroupBox1", tr(">>>Input"), {2, 172, 202, 69}, mono_font());
    c_.format_group = make_group(c_.input_group, "RadioGroup1", tr("Format "), {8, 14, 191, 30}, mono_font());
    // Three columns, as a radio group lays out its items.
    const int column = (191 - 8) / 3;
    c_.nmea_radio = make_radio(c_.format_group, "RadioGroup1Item0", tr("NMEA"), {6, 13, column - 4, 15});
    c_.binary_radio = make_radio(c_.format_group, "RadioGroup1Item1", tr("TOLV"), {6 + column, 13, column - 4, 15});
    c_.solution_radio =
        make_radio(c_.format_group, "RadioGroup1Item2", tr("POS"), {6 + 2 * column, 13, column - 4, 15});
    c_.nmea_radio->setChecked(true);
    c_.input_edit = make_edit(c_.input_group, "Edit1", {8, 46, 167, 18}, serif10_font());
    c_.input_button = make_button(c_.input_group, "SpeedButtonOpen", {176, 46, 18, 18}, QStyle::SP_DirOpenIcon);

    c_.output_group = make_group(this, "GroupBox10", tr(">>>Output(.kmz)"), {2, 240, 202, 40}, mono_font());
    c_.output_edit = make_edit(c_.output_group, "Edit6", {8, 15, 167, 18}, serif10_font());
    c_.output_button = make_button(c_.output_group, "SpeedButtonSave", {176, 15, 18, 18}, QStyle::SP_DialogSaveButton);
}

// The settings: the waypoints' colours and scale, the tracks' colours and
// width, and the fixed date.
void TForm1::create_settings_controls(const ConversionOptions& initial) {
    c_.settings_group = make_group(this, "GroupBox3", tr(">>> Settings"), {205, 0, 191, 280}, mono_font());
    c_.waypoints_group = make_group(c_.settings_group, "GroupBox11", tr(" Waypoints"), {4, 13, 181, 110}, mono_font(true));
    QWidget* w = c_.waypoints_group;
    make_colour_rows(w, kClassColours, initial, c_);
    std::tie(c_.scale_caption, c_.scale_edit, c_.scale_arrows) =
        make_stepper(make_label(w, "Label9", tr("Scale"), 8, 72, mono_font(true)), "Edit4", {64, 70, 33, 18},
                     initial.icon_scale, "UpDown2", 1, -100, 100);
    c_.show_height_check = make_check(w, "CheckBox3", tr("Show value of height"), {8, 90, 141, 17}, initial.show_height);

    c_.track_group = make_group(c_.settings_group, "GroupBox5", tr(" Style Track"), {4, 127, 181, 106}, mono_font(true));
    w = c_.track_group;
    make_colour_rows(w, kTrackColours, initial, c_);
    std::tie(c_.width_caption, c_.width_edit, c_.width_arrows) =
        make_stepper(make_label(w, "Width", tr("Width of the track"), 8, 52, sans_font(true)), "Edit3",
                     {112, 50, 25, 18}, initial.track_width, "UpDown1", 5, -1000, 1000);
    c_.start_first_fix_check = make_check(w, "CheckBox4", tr("Start first fix"), {8, 69, 97, 17}, initial.start_first_fix);
    c_.start_first_fix_check->setEnabled(false);
    c_.start_first_fix_check->setVisible(false);
    c_.all_epochs_check = make_check(w, "CheckBox2", tr("Use all the waypoints"), {8, 84, 145, 17}, initial.use_all_waypoints);

    c_.date_group = make_group(c_.settings_group, "GroupBox4", tr("Date(yyyy-mm-dd)"), {4, 237, 181, 38}, mono_font(true));
    c_.fixed_date_check = make_check(c_.date_group, "CheckBox1", QString(), {8, 17, 17, 17}, initial.use_fixed_date);
    c_.fixed_date_edit = new DateMaskEdit(c_.date_group);
    c_.fixed_date_edit->setObjectName(QStringLiteral("MaskEdit1"));
    c_.fixed_date_edit->setGeometry(27, 16, 86, 18);
    c_.fixed_date_edit->setFont(mono9_font());
    c_.fixed_date_edit->setTextMargins(0, 0, 0, 0);
    c_.fixed_date_edit->setText(to_qstring(initial.fixed_date));
    c_.fixed_date_edit->setEnabled(false);  // until the settings are loaded
}

// Run and progress, the configuration file, and the two status panels.
void TForm1::create_run_controls() {
    c_.run_group = make_group(this, "GroupBox9", QString(), {2, 280, 394, 35}, mono_font());
    c_.run_button = make_button(c_.run_group, "SpeedButton3", {9, 9, 57, 19}, QStyle::SP_MediaPlay);
    c_.run_button->setText(tr("Run"));
    c_.run_button->setFont(sans_font());
    c_.run_button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    c_.run_button->setEnabled(false);
    c_.gauge = new Gauge(c_.run_group);
    c_.gauge->setObjectName(QStringLiteral("CGauge1"));
    c_.gauge->setGeometry(66, 9, 319, 19);
    c_.gauge->setFont(sans_font());
    QPalette gauge = c_.gauge->palette();
    gauge.setColor(QPalette::Highlight, QColor(0, 0, 128));  // navy fill
    c_.gauge->setPalette(gauge);

    c_.config_group = make_group(this, "GroupBox2", tr("Configuration"), {2, 314, 394, 40}, mono_font());
    c_.config_edit = make_edit(c_.config_group, "Edit2", {6, 15, 335, 19}, sans_font());
    c_.config_open_button = make_button(c_.config_group, "SpeedButton1", {343, 15, 19, 19}, QStyle::SP_DialogOpenButton);
    c_.config_save_button = make_button(c_.config_group, "SpeedButton2", {364, 15, 19, 19}, QStyle::SP_DialogSaveButton);

    c_.status_panel = make_panel(this, "Panel2", {2, 355, 199, 20});
    c_.count_panel = make_panel(this, "Panel3", {202, 355, 193, 20});
}

void TForm1::connect_controls() {
    auto on = [this](auto* sender, auto signal, std::function<void()> handler) {
        connect(sender, signal, this, [this, handler] { guarded(handler); });
    };
    connect(c_.input_edit, &QLineEdit::textChanged, this, [this] { on_input_text_changed(); });
    connect(c_.output_edit, &QLineEdit::textChanged, this, [this] { on_output_text_changed(); });
    connect(c_.config_edit, &QLineEdit::textChanged, this, [this](const QString& text) {
        config_full_path_ = text;  // rule: the configuration path is the text itself
        c_.config_edit->setToolTip(config_full_path_);
    });
    on(c_.input_button, &QToolButton::clicked, [this] { choose_input_file(); });
    on(c_.output_button, &QToolButton::clicked, [this] { choose_output_file(); });
    on(c_.config_open_button, &QToolButton::clicked, [this] { open_config(); });
    on(c_.config_save_button, &QToolButton::clicked, [this] { save_config(); });
    on(c_.run_button, &QToolButton::clicked, [this] { run_conversion(); });
    for (ColorSwatch* s : {c_.auto_swatch, c_.diff_swatch, c_.rtk_fix_swatch, c_.invalid_swatch,
                           c_.rtk_float_swatch, c_.estimated_swatch, c_.track_swatch,
                           c_.all_epochs_swatch})
        on(s, &ColorSwatch::pressed, [this, s] { pick_color(s); });
    connect(c_.width_arrows, &UpDown::stepped, this, [this](int step) { guarded([=, this] { step_width(step); }); });
    connect(c_.scale_arrows, &UpDown::stepped, this, [this](int step) { guarded([=, this] { step_scale(step); }); });
    // toggled() fires on every change of state, by the user or by a load,
    // and not when the state stays: a switch's click behaviour.
    connect(c_.fixed_date_check, &QCheckBox::toggled, this,
            [this](bool on) { c_.fixed_date_edit->setEnabled(on); });
    connect(c_.all_epochs_check, &QCheckBox::toggled, this, [this] { update_track_controls(); });
    connect(c_.fixed_date_edit, &DateMaskEdit::invalid_input, this, [this] {
        report_error(tr("Invalid input value.  Use escape key to abandon changes"));
    });
}

void TForm1::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        report_error(QString::fromStdString(e.what()));
    } catch (...) {
        report_error(QString());
    }
}

void TForm1::report_error(const QString& message) {
    QString text = QString::fromStdString(error_report_text(message.toStdString()));
    dialogs_.error(this, QStringLiteral("ZelvoConverter"), text);
}

// Before anything is chosen: the executable's directory when it is writable,
// else home (location_.start_dir()).
QString TForm1::typed_name_dir() const {
    return chosen_dir_.isEmpty() ? from_path(location_.start_dir()) : chosen_dir_;
}

// Input field: a typed absolute path is taken as it stands, a relative one
// joins the directory of the last file chosen or dropped. (Joining the
// directory of the previous full path instead turns each keystroke of
// "/data/a.nmea" into a longer broken path.) The output follows the input
// until the user names it; "Run" needs a name.
void TForm1::on_input_text_changed() {
    const QString text = c_.input_edit->text();
    input_full_path_ = text.startsWith(QLatin1Char('/')) ? text : typed_name_dir() + text;
    c_.input_edit->setToolTip(input_full_path_);
    if (!text.isEmpty() && !output_named_) put_output(input_full_path_ + QStringLiteral(".kmz"));
    c_.run_button->setEnabled(!text.isEmpty() && !running_);
}

// Output field, as the user edits it: the full path is the archive the run
// writes, by the input field's rule but relative to the output's directory.
// An emptied field lets the output follow the input again.
void TForm1::on_output_text_changed() {
    const QString text = c_.output_edit->text();
    output_named_ = !text.isEmpty();
    const QString dir = output_dir_.isEmpty() ? typed_name_dir() : output_dir_;
    set_output_full_path(text.startsWith(QLatin1Char('/')) ? text : dir + text);
}

void TForm1::put_output(const QString& full_path) {
    set_output_full_path(full_path);
    output_dir_ = dir_of(full_path);
    const QSignalBlocker program_not_user(c_.output_edit);
    c_.output_edit->setText(name_of(full_path));
}

void TForm1::set_input_from_file(const QString& full_name) {
    chosen_dir_ = dir_of(full_name);
    output_named_ = false;
    c_.input_edit->setText(name_of(full_name));
    on_input_text_changed();  // also when the shown name stayed the same
    input_full_path_ = full_name;
    c_.input_edit->setToolTip(input_full_path_);
    put_output(full_name + QStringLiteral(".kmz"));
    // The log's content picks the format; the user may still change it.
    if (std::optional<InputFormat> format = detect_log_format(to_path(full_name))) choose_format(*format);
}

InputFormat TForm1::chosen_format() const {
    if (c_.binary_radio->isChecked()) return InputFormat::Tolv;
    if (c_.solution_radio->isChecked()) return InputFormat::Solution;
    return InputFormat::Nmea;
}

void TForm1::choose_format(InputFormat format) {
    switch (format) {
        case InputFormat::Nmea: c_.nmea_radio->setChecked(true); break;
        case InputFormat::Tolv: c_.binary_radio->setChecked(true); break;
        case InputFormat::Solution: c_.solution_radio->setChecked(true); break;
    }
}

void TForm1::set_output_full_path(const QString& path) {
    output_full_path_ = path;
    c_.output_edit->setToolTip(path);
}

void TForm1::choose_input_file() {
    QString start = c_.input_edit->text().isEmpty() ? from_path(location_.start_dir()) : dir_of(input_full_path_);
    auto chosen = dialogs_.open_file(this, tr("Open"), start, QString());
    if (!chosen) return;
    set_input_from_file(*chosen);
}

void TForm1::choose_output_file() {
    QString preset = c_.output_edit->text().isEmpty() ? last_output_choice_ : output_full_path_;
    QString start = dir_of(output_full_path_);
    if (start.isEmpty()) start = from_path(location_.start_dir());
    auto chosen = dialogs_.save_file(this, tr("Save as "), start, preset, QString());
    if (!chosen) return;
    last_output_choice_ = *chosen;
    chosen_dir_ = dir_of(*chosen);
    output_named_ = true;
    put_output(*chosen);  // exactly as chosen: no extension is added
}

static QString config_filter() {
    return QObject::tr("Configuration (*.ini)") + QStringLiteral(";;") + QObject::tr("All files (*)");
}

void TForm1::open_config() {
    // The per-user settings directory exists only once something was saved.
    std::string start = location_.settings_dir();
    if (!QFileInfo(from_path(start)).isDir()) start = location_.start_dir();
    auto chosen = dialogs_.open_file(this, tr("Open "), from_path(start), config_filter());
    if (!chosen) return;
    c_.config_edit->setText(name_of(*chosen));
    config_full_path_ = *chosen;
    c_.config_edit->setToolTip(config_full_path_);
    settings_->load_settings(to_path(*chosen));
}

void TForm1::save_config() {
    std::string def = location_.default_settings_path();
    // Created now so that the dialog can show the directory it proposes.
    make_directories(directory_part(def));
    const std::string start = def.empty() ? location_.start_dir() : directory_part(def);
    auto chosen = dialogs_.save_file(this, tr("Save as"), from_path(start), from_path(def), config_filter());
    if (!chosen) return;
    settings_->save_settings(to_path(*chosen));
}

void TForm1::handle_dropped_files(const QStringList& paths) {
    if (running_ || paths.isEmpty()) return;  // no new input while a run reads one
    if (paths.size() > 1) {
        dialogs_.warning(this, tr("Warning"),
                         QStringLiteral("Работа с несколькими файлами не поддерживается!"));
        return;
    }
    set_input_from_file(paths.first());
    c_.run_button->setEnabled(!input_full_path_.isEmpty());
}

void TForm1::pick_color(ColorSwatch* swatch) {
    if (!swatch->isEnabled()) return;
    if (auto chosen = dialogs_.choose_color(this, swatch->color())) swatch->set_color(*chosen);
}

void TForm1::step_width(int step) {
    c_.width_edit->setText(to_qstring(step_track_width(c_.width_edit->text().toStdString(), step)));
}

void TForm1::step_scale(int step) {
    c_.scale_edit->setText(to_qstring(step_icon_scale(c_.scale_edit->text().toStdString(), step)));
    // Six decimals are wider than the field: show the leading digits.
    c_.scale_edit->setCursorPosition(0);
}

void TForm1::update_track_controls() {
    bool on = c_.all_epochs_check->isChecked();
    c_.all_epochs_caption->setEnabled(on);
    c_.all_epochs_swatch->setEnabled(on);
}

ConversionOptions TForm1::gather_options() const {
    ConversionOptions o;
    o.input_path = to_path(input_full_path_);
    o.input_name = to_path(c_.input_edit->text());
    o.output_path = to_path(output_full_path_);
    // The run writes the directory of output_path followed by output_name,
    // and the field may hold a typed path: the name comes from the full path.
    o.output_name = to_path(output_full_path_.isEmpty() ? c_.output_edit->text() : name_of(output_full_path_));
    o.config_path = to_path(config_full_path_);
    o.input_format = chosen_format();
    settings_->put_choices(o);
    return o;
}

void TForm1::run_conversion() {
    if (running_) return;  // one run at a time, whatever the pumped events ask
    ConversionOptions options = gather_options();
    running_ = true;
    cancel_requested_ = false;
    run_locked_ = options_locked_ = false;
    pump_throttle_.restart();
    skip_pumps(1);
    std::optional<RunResult> result;
    bool failed = false;
    QString failure;
    c_.status_panel->setToolTip(QString());
    try {
        result = conversion_run(options, *this);
        show_run_result(options, *result);
    } catch (const RunCancelled&) {
        if (run_locked_) set_run_enabled(true);
        if (options_locked_) set_options_enabled(true);
        set_status(tr("The conversion was cancelled").toStdString());
    } catch (const std::exception& e) {
        failed = true;
        failure = QString::fromStdString(e.what());
    } catch (...) {
        failed = true;
    }
    // Once a run has begun, the output path is its archive's.
    set_output_full_path(from_path(run_locked_ ? archive_path_for(options) : options.output_path));
    if (failed) {
        // The window must stay usable after a failed run.
        set_run_enabled(true);
        set_options_enabled(true);
        report_error(failure);
    }
    running_ = false;
    if (cancel_requested_) {
        cancel_requested_ = false;
        QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
    }
}

void TForm1::show_run_result(const ConversionOptions& options, const RunResult& result) {
    // The panel has room for the status alone; its hint tells which file and why.
    if (result.outcome == RunOutcome::InputNotOpened)
        c_.status_panel->setToolTip(from_path(options.input_path) + QStringLiteral(": ") + to_qstring(result.reason));
    if (result.outcome == RunOutcome::OutputNotCreated)
        c_.status_panel->setToolTip(from_path(options.output_path) + QStringLiteral(": ") + to_qstring(result.reason));
    if (result.outcome != RunOutcome::Finished) return;
    // The closing message also says where the archive is; then the
    // controls the run locked are free again.
    if (interactive_) {
        const QString message = to_qstring(finished_message(options.input_name, result)) + QLatin1Char('\n') +
                                from_path(result.archive_path);
        // More to read on request: the session summary.
        const QString details =
            result.summary ? to_qstring(format_line(result.format, false, "") + summary_lines(*result.summary, ""))
                           : QString();
        if (result.epochs == 0) show_no_epoch_information(message, options.input_format);
        else if (details.isEmpty()) dialogs_.information(this, tr("Information"), message);
        else dialogs_.information_with_details(this, tr("Information"), message, details);
    }
    set_run_enabled(true);
    set_options_enabled(true);
}

void TForm1::set_status(const std::string& text) { c_.status_panel->setText(to_qstring(text)); }

void TForm1::set_run_enabled(bool enabled) { c_.run_button->setEnabled(enabled); }

void TForm1::set_options_enabled(bool enabled) {
    const QColor caption = enabled ? QColor(Qt::black)
                                   : QApplication::palette().color(QPalette::Disabled,
                                                                   QPalette::WindowText);
    auto paint_caption = [&](QGroupBox* g) {
        QPalette p = g->palette();
        p.setColor(QPalette::WindowText, caption);
        g->setPalette(p);
    };
    c_.settings_group->setEnabled(enabled);
    paint_caption(c_.settings_group);
    paint_caption(c_.track_group);
    c_.track_caption->setEnabled(enabled);
    c_.all_epochs_caption->setEnabled(enabled);
    c_.width_caption->setEnabled(enabled);
    c_.width_edit->setEnabled(enabled);
    c_.all_epochs_check->setEnabled(enabled);
    c_.start_first_fix_check->setEnabled(enabled);
    c_.show_height_check->setEnabled(enabled);
    c_.fixed_date_check->setEnabled(enabled);
    c_.config_group->setEnabled(enabled);
    paint_caption(c_.config_group);
    c_.input_group->setEnabled(enabled);
    paint_caption(c_.input_group);
    c_.input_edit->setEnabled(enabled);
    c_.output_group->setEnabled(enabled);
    paint_caption(c_.output_group);
    c_.output_edit->setEnabled(enabled);
    c_.waypoints_group->setEnabled(enabled);
    paint_caption(c_.waypoints_group);
}

// ---- RunHost ----

void TForm1::reset_progress() { c_.gauge->set_value(0); }

void TForm1::advance_progress() { c_.gauge->set_value(c_.gauge->value() + 1); }

// The window locks its own controls as the run goes: the Run button once the
// run has begun, the options once it reads the log.
void TForm1::phase(RunPhase phase, std::int32_t placemarks) {
    set_status(phase_text(phase));
    if (phase == RunPhase::Begun) {
        c_.count_panel->setText(QStringLiteral(" "));
        set_run_enabled(false);
        run_locked_ = true;
    } else if (phase == RunPhase::Reading) {
        set_options_enabled(false);
        options_locked_ = true;
    } else if (phase == RunPhase::Writing) {
        c_.count_panel->setText(to_qstring(waypoints_text(placemarks)));
    }
}

// The run calls this once per input byte of a binary log and once per chunk
// of an NMEA log, less often when the throttle asks to skip calls: the
// queue is processed when 15 ms have passed since the last pass.
void TForm1::process_messages() {
    int skip = 1;
    const bool due = pump_throttle_.check(skip);
    skip_pumps(skip);
    if (!due) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (running_ && cancel_requested_) throw RunCancelled();
    pump_throttle_.looked();
}

FileFailureAction TForm1::file_failure(const std::string& text) {
    if (!interactive_) return RunHost::file_failure(text);
    return dialogs_.abort_retry_ignore(this, QStringLiteral("ZelvoConverter"), QString::fromStdString(text));
}

// A log without a single epoch was most likely read in the wrong format:
// the closing message has a warning icon and a hint on how to read it.
void TForm1::show_no_epoch_information(const QString& message, InputFormat input_format) {
    QString hint;
    switch (input_format) {
        case InputFormat::Nmea: hint = tr("No epoch found (read as NMEA; for a binary log choose TOLV, for a solution file POS)"); break;
        case InputFormat::Tolv: hint = tr("No epoch found (read as TOLV; for an NMEA log choose NMEA, for a solution file POS)"); break;
        case InputFormat::Solution: hint = tr("No epoch found (read as a solution file; for an NMEA log choose NMEA, for a binary log TOLV)"); break;
    }
    dialogs_.warning(this, tr("Information"), message + QLatin1Char('\n') + hint);
}

void TForm1::move_on_screen(int left, int top) {
    std::vector<ScreenRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        QRect r = screen->availableGeometry();
        screens.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    const QSize frame = frameGeometry().size();
    ScreenRect placed = place_on_screen({left, top, frame.width(), frame.height()}, screens);
    move(placed.left, placed.top);
}

// ---- window events ----

void TForm1::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The run is told through pump_messages; it cleans up and the window
        // closes once it has returned.
        cancel_requested_ = true;
        event->ignore();
        return;
    }
    if (!settings_->changed_since_load()) {
        event->accept();
        return;
    }
    if (location_.save_path(to_path(config_full_path_)).empty()) {
        // Without a home there is no place that is the user's own: said
        // once, as the window closes, rather than asked about.
        dialogs_.information(this, tr("Information"),
                             tr("The settings were changed but are not saved: there is no home directory "
                                "(neither XDG_CONFIG_HOME nor HOME is set)."));
        event->accept();
        return;
    }
    if (!dialogs_.ask_yes_no(this, tr("Information"), tr("The settings were changed. Save them?"))) {
        event->accept();
        return;
    }
    try {
        settings_->save_settings(to_path(config_full_path_));
        event->accept();
    } catch (const std::exception& e) {
        report_error(QString::fromStdString(e.what()));
        event->ignore();  // stays open; closing again asks again
    }
}

// Enter runs the conversion when "Run" is enabled, wherever the focus is,
// as a dialog's default button does; on a focused button it presses that one.
void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (auto* button = qobject_cast<QToolButton*>(focusWidget()); button && button->isEnabled()) {
        button->click();
        return;
    }
    if (c_.run_button->isEnabled()) c_.run_button->click();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!running_ && event->mimeData()->hasUrls()) event->acceptProposedAction();
    else event->ignore();
}

void TForm1::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        files << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    event->acceptProposedAction();
    guarded([&] { handle_dropped_files(files); });
}

}  // namespace zelvo
