// The window as the run's host: locking around a run, the closing message,
// drops and a second run while one runs, closing during a run, errors that
// escape the run, the throttled pump, and the same output as the command line.
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QMessageBox>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <clocale>
#include <functional>
#include <map>
#include <memory>

#include <zlib.h>

#include "engine/conversion_run.h"
#include "ui/main_window.h"
#include "ui/window_dialogs.h"
#include "ui/window_controls.h"
#include "ui/window_settings.h"
#include "window_test_support.h"

using namespace zelvo;
using namespace zelvo::test;

namespace {

const std::string kLog = std::string(ZELVO_TEST_DATA) + "/gpsd-ublox-zed-f9r.log";

struct Fixture {
    Scratch scratch;
    ScriptedDialogs dialogs;
    std::unique_ptr<TForm1> form;
    const FormControls* c = nullptr;

    Fixture() {
        form = std::make_unique<TForm1>(dialogs, scratch.location());
        c = &form->controls();
        form->settings().load_settings(form->location().default_settings_path());
        form->set_pump_interval_ms(0);  // every pump looks at the queue
    }
    // Picks the log with the input button; the archive goes to out/.
    void choose(const std::string& log, const std::string& out_name = "day.kmz") {
        QDir().mkpath(QString::fromStdString(scratch.path() + "out"));
        dialogs.files.push_back(QString::fromStdString(log));
        form->choose_input_file();
        dialogs.files.push_back(QString::fromStdString(scratch.path() + "out/" + out_name));
        form->choose_output_file();
    }
    // Runs with `probe` called once from inside the run's message pump.
    bool run_with_probe(std::function<void()> probe) {
        bool called = false;
        QTimer::singleShot(0, form.get(), [&] {
            if (form->running()) {
                called = true;
                probe();
            }
        });
        form->run_conversion();
        return called;
    }
    QStringList output_files() const {
        return QDir(QString::fromStdString(scratch.path() + "out")).entryList(QDir::Files);
    }
};

struct LockState {
    bool run_enabled, settings, input, output, config, edit1, checkbox1;
    QColor caption;
};

LockState lock_state(const FormControls& c) {
    return {c.run_button->isEnabled(), c.settings_group->isEnabled(), c.input_group->isEnabled(),
            c.output_group->isEnabled(),   c.config_group->isEnabled(), c.input_edit->isEnabled(),
            c.fixed_date_check->isEnabled(),    c.input_group->palette().color(QPalette::WindowText)};
}

// The members of a ZIP archive by name, inflated. Empty when the bytes are
// not an archive of stored or deflated members.
std::map<std::string, std::string> unzip(const std::string& zip) {
    std::map<std::string, std::string> members;
    auto le16 = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(zip[at]) |
                                     static_cast<unsigned char>(zip[at + 1]) << 8);
    };
    auto le32 = [&](std::size_t at) { return le16(at) | le16(at + 2) << 16; };
    std::size_t at = 0;
    while (at + 30 <= zip.size() && le32(at) == 0x04034b50u) {
        unsigned method = le16(at + 8);
        std::size_t packed = le32(at + 18), size = le32(at + 22);
        std::size_t name_len = le16(at + 26), extra_len = le16(at + 28);
        std::string name = zip.substr(at + 30, name_len);
        std::size_t data = at + 30 + name_len + extra_len;
        if (data + packed > zip.size()) return {};
        std::string out(size, '\0');
        if (method == 0) {
            out = zip.substr(data, packed);
        } else {
            z_stream z{};
            if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return {};
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + data));
            z.avail_in = static_cast<uInt>(packed);
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = static_cast<uInt>(size);
            int rc = inflate(&z, Z_FINISH);
            inflateEnd(&z);
            if (rc != Z_STREAM_END) return {};
        }
        members[name] += out;
        at = data + packed;
    }
    return members;
}

// What a run left in a directory: each file's bytes, archives opened.
std::map<std::string, std::string> contents(const std::string& dir, const Scratch& s) {
    std::map<std::string, std::string> all;
    for (const QString& name : QDir(QString::fromStdString(dir)).entryList(QDir::Files)) {
        std::string bytes = s.read(dir + name.toStdString());
        if (name.endsWith(QStringLiteral(".kmz")))
            for (auto& [member, data] : unzip(bytes)) all[name.toStdString() + ":" + member] = data;
        else
            all[name.toStdString()] = bytes;
    }
    return all;
}

}  // namespace

class WindowRunTest : public QObject {
    Q_OBJECT
private slots:
    void run_locks_the_window_and_unlocks_it_after();
    void failed_open_leaves_the_window_as_it_was();
    void a_log_without_epochs_ends_with_a_warning_and_a_hint();
    void enter_runs_when_run_is_enabled();
    void drops_and_a_second_run_are_ignored_during_a_run();
    void closing_during_a_run_cancels_it_and_then_closes();
    void an_error_escaping_the_run_is_reported_and_unlocks();
    void pump_looks_at_the_queue_only_every_15_ms();
    void window_and_command_line_write_the_same_output();
    void the_final_details_fit_an_800_by_600_screen();
};

void WindowRunTest::run_locks_the_window_and_unlocks_it_after() {
    Fixture f;
    f.choose(kLog);
    LockState during{};
    QString status_during;
    QVERIFY(f.run_with_probe([&] {
        during = lock_state(*f.c);
        status_during = f.c->status_panel->text();
    }));
    QVERIFY(!during.run_enabled && !during.settings && !during.input && !during.output &&
            !during.config && !during.edit1 && !during.checkbox1);
    QCOMPARE(during.caption, QApplication::palette().color(QPalette::Disabled, QPalette::WindowText));
    QCOMPARE(status_during, QStringLiteral("The progress started"));

    LockState after = lock_state(*f.c);
    QVERIFY(after.run_enabled && after.settings && after.input && after.output && after.config &&
            after.edit1 && after.checkbox1);
    QCOMPARE(after.caption, QColor(Qt::black));
    QCOMPARE(f.c->status_panel->text(), QStringLiteral("The progress finished"));
    QVERIFY(f.c->count_panel->text().startsWith(QStringLiteral("Waypoints ")));
    QCOMPARE(f.c->gauge->value(), 100);
    QCOMPARE(f.dialogs.count("information"), 1);
    QCOMPARE(f.dialogs.last("information")->caption, QStringLiteral("Information"));
    QCOMPARE(f.dialogs.last("information")->text,
             QStringLiteral("The progress finished!\n\rInput file gpsd-ublox-zed-f9r.log\n\r") +
                 f.c->count_panel->text() + QStringLiteral("\n") + f.form->output_full_path());
    QVERIFY(f.dialogs.last_details.contains(QStringLiteral("RTK float 100.0 %")));
    QVERIFY(f.dialogs.last_details.startsWith(QStringLiteral("format    NMEA\n")));
    QCOMPARE(f.form->output_full_path(), QString::fromStdString(f.scratch.path() + "out/day.kmz"));
    QCOMPARE(f.dialogs.count("error"), 0);
}

void WindowRunTest::failed_open_leaves_the_window_as_it_was() {
    Fixture f;
    f.choose(f.scratch.path() + "missing.log");
    f.c->output_edit->setText(QStringLiteral("renamed.kmz"));
    f.form->advance_progress();
    f.form->run_conversion();
    QCOMPARE(f.c->status_panel->text(), QStringLiteral("Can't open the input file"));
    QCOMPARE(f.c->gauge->value(), 1);
    QCOMPARE(f.form->output_full_path(), QString::fromStdString(f.scratch.path() + "out/renamed.kmz"));
    // The panel's hint names the file and the system's reason.
    QCOMPARE(f.c->status_panel->toolTip(),
             QString::fromStdString(f.scratch.path() + "missing.log: No such file or directory"));
    QVERIFY(lock_state(*f.c).run_enabled && lock_state(*f.c).settings);
    QCOMPARE(f.dialogs.count("information") + f.dialogs.count("error"), 0);
    QVERIFY(f.output_files().isEmpty());
}

void WindowRunTest::a_log_without_epochs_ends_with_a_warning_and_a_hint() {
    struct Case { std::string log; bool binary; const char* hint; };
    const Case cases[] = {
        {"", false, "No epoch found (read as NMEA; for a binary log choose TOLV, for a solution file POS)"},
        {kLog, true, "No epoch found (read as TOLV; for an NMEA log choose NMEA, for a solution file POS)"},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.choose(c.log.empty() ? f.scratch.write("empty.log", "") : c.log);
        (c.binary ? f.c->binary_radio : f.c->nmea_radio)->setChecked(true);
        f.form->run_conversion();
        QCOMPARE(f.dialogs.count("information"), 0);
        QCOMPARE(f.dialogs.count("warning"), 1);
        const QString name = QString::fromStdString(c.log.empty() ? "empty.log" : "gpsd-ublox-zed-f9r.log");
        QCOMPARE(f.dialogs.last("warning")->text,
                 QStringLiteral("The progress finished!\n\rInput file ") + name + QStringLiteral("\n\rWaypoints 0\n") +
                     QString::fromStdString(f.scratch.path() + "out/day.kmz\n") + QString::fromLatin1(c.hint));
        QCOMPARE(f.output_files().size(), 1);  // the archive is written all the same
    }
}

void WindowRunTest::enter_runs_when_run_is_enabled() {
    Fixture f;
    QTest::keyClick(f.c->input_edit, Qt::Key_Return);  // no log yet: "Run" is disabled
    QCOMPARE(f.dialogs.count("information"), 0);
    f.choose(kLog);
    for (QWidget* focus : {static_cast<QWidget*>(f.c->input_edit), static_cast<QWidget*>(f.c->show_height_check)}) {
        QTest::keyClick(focus, Qt::Key_Return);
    }
    QCOMPARE(f.dialogs.count("information"), 2);
    QCOMPARE(f.output_files(), QStringList{QStringLiteral("day.kmz")});
}

void WindowRunTest::drops_and_a_second_run_are_ignored_during_a_run() {
    Fixture f;
    f.choose(kLog);
    QVERIFY(f.run_with_probe([&] {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/elsewhere/other.nmea"))});
        QDragEnterEvent enter(QPoint(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.form.get(), &enter);
        QVERIFY(!enter.isAccepted());
        QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.form.get(), &drop);
        f.form->handle_dropped_files({QStringLiteral("/elsewhere/other.nmea")});
        QVERIFY(!f.c->run_button->isEnabled());
        f.form->run_conversion();  // a second run must not start
        QTest::mouseClick(f.c->run_button, Qt::LeftButton);
    }));
    QCOMPARE(f.c->input_edit->text(), QStringLiteral("gpsd-ublox-zed-f9r.log"));
    QCOMPARE(f.dialogs.count("information"), 1);
    QCOMPARE(f.output_files().size(), 1);
}

void WindowRunTest::closing_during_a_run_cancels_it_and_then_closes() {
    Fixture f;
    f.choose(kLog);
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    bool closed_at_once = true;
    QVERIFY(f.run_with_probe([&] { closed_at_once = f.form->close(); }));
    QVERIFY(!closed_at_once);
    QVERIFY(!f.form->running());
    QCOMPARE(f.c->status_panel->text(), QStringLiteral("The conversion was cancelled"));
    QVERIFY2(f.output_files().isEmpty(), qPrintable(f.output_files().join(u' ')));
    QCOMPARE(f.dialogs.count("information") + f.dialogs.count("error"), 0);
    QVERIFY(f.c->settings_group->isEnabled() && f.c->run_button->isEnabled());
    QTRY_VERIFY(!f.form->isVisible());  // the close goes through once the run has ended
}

void WindowRunTest::an_error_escaping_the_run_is_reported_and_unlocks() {
    Fixture f;
    // Reading this file fails with an input/output error after it opened.
    f.choose("/proc/self/mem");
    f.form->run_conversion();
    QCOMPARE(f.dialogs.count("error"), 1);
    QCOMPARE(f.dialogs.last("error")->caption, QStringLiteral("ZelvoConverter"));
    QVERIFY2(f.dialogs.last("error")->text.contains(QStringLiteral("/proc/self/mem")),
             qPrintable(f.dialogs.last("error")->text));
    QVERIFY(f.dialogs.last("error")->text.endsWith(u'.'));
    LockState after = lock_state(*f.c);
    QVERIFY(after.run_enabled && after.settings && after.input && after.config && after.checkbox1);
    QCOMPARE(after.caption, QColor(Qt::black));
    QVERIFY(!f.form->running());
    QVERIFY(f.output_files().isEmpty());
}

void WindowRunTest::pump_looks_at_the_queue_only_every_15_ms() {
    Fixture f;
    f.form->set_pump_interval_ms(15);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 2'000'000; ++i) f.form->pump_messages();
    qint64 ms = clock.elapsed();
    QVERIFY(f.form->pump_passes() >= 1);
    QVERIFY2(f.form->pump_passes() <= ms / 15 + 1,
             qPrintable(QStringLiteral("%1 passes in %2 ms").arg(f.form->pump_passes()).arg(ms)));
}

// The same log and settings through the window and through the command
// line's plain form give the same files, archives compared member by member.
void WindowRunTest::window_and_command_line_write_the_same_output() {
    Fixture f;
    // Every key is given: a load keeps what a missing key's control holds,
    // and the window and the command line start from different values.
    std::string ini = f.scratch.write(
        "same.ini", "[Settings]\nCheckBox1=0\nMaskEdit1=2001-02-03\nShapeStyleTrack=0x00FF00\n"
                    "ShapeFullTrack=16711680\nEdit3=3\nCheckBox2=1\nCheckBox4=0\nCheckBox3=1\n"
                    "Edit4=0.7\n");
    f.dialogs.files.push_back(QString::fromStdString(ini));
    f.form->open_config();
    f.choose(std::string(ZELVO_TEST_DATA) + "/gpsd-nmea-rtk.log", "rtk.kmz");
    f.form->run_conversion();
    QCOMPARE(f.dialogs.count("error"), 0);

    QDir().mkpath(QString::fromStdString(f.scratch.path() + "cli"));
    QProcess cli;
    cli.setWorkingDirectory(QString::fromStdString(f.scratch.path()));
    cli.start(QStringLiteral(ZELVO_BINARY),
              {QStringLiteral(ZELVO_TEST_DATA "/gpsd-nmea-rtk.log"),
               QString::fromStdString(f.scratch.path() + "cli/rtk.kmz"), QStringLiteral("same.ini")});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);

    auto window = contents(f.scratch.path() + "out/", f.scratch);
    auto command_line = contents(f.scratch.path() + "cli/", f.scratch);
    QVERIFY(!window.empty());
    QCOMPARE(window.size(), command_line.size());
    for (auto& [name, bytes] : window) {
        QVERIFY2(command_line.count(name), name.c_str());
        const std::string& other = command_line[name];
        auto diff = std::mismatch(bytes.begin(), bytes.end(), other.begin(), other.end());
        std::size_t at = static_cast<std::size_t>(diff.first - bytes.begin());
        QVERIFY2(bytes == other, (name + " differs at " + std::to_string(at) + ": window \"" +
                                  bytes.substr(at > 40 ? at - 40 : 0, 80) + "\" command line \"" +
                                  other.substr(at > 40 ? at - 40 : 0, 80) + "\"").c_str());
    }
    bool has_kml = false;
    for (auto& [name, bytes] : window) has_kml |= bytes.find("<kml xmlns=") == 0;
    QVERIFY(has_kml);
}

void WindowRunTest::the_final_details_fit_an_800_by_600_screen() {
    Fixture f;
    f.choose(kLog);
    f.c->run_button->click();
    QVERIFY(!f.dialogs.last_details.isEmpty());
    // The box the window would show, its details open, on an 800 x 600 screen.
    auto box = make_message_box(f.form.get(), QMessageBox::Information, QStringLiteral("Information"),
                                f.dialogs.last("information")->text, f.dialogs.last_details);
    box->show();
    for (QAbstractButton* b : box->buttons())
        if (box->buttonRole(b) == QMessageBox::ActionRole) b->click();  // "Show Details..."
    QApplication::processEvents();
    const QRect screen(QPoint(0, 0), QSize(800, 600));
    const QRect frame = box->frameGeometry();
    QVERIFY2(screen.contains(frame), qPrintable(QStringLiteral("%1 x %2 at %3, %4")
                                                    .arg(frame.width()).arg(frame.height()).arg(frame.x()).arg(frame.y())));
    auto* area = box->findChild<QTextEdit*>();
    QVERIFY(area && area->isVisible());
    // Every line of the summary shows whole, without scrolling.
    QVERIFY2(area->horizontalScrollBar()->maximum() == 0 && area->verticalScrollBar()->maximum() == 0,
             qPrintable(QStringLiteral("area %1 x %2, scrolls %3 x %4: %5")
                            .arg(area->width()).arg(area->height())
                            .arg(area->horizontalScrollBar()->maximum()).arg(area->verticalScrollBar()->maximum())
                            .arg(area->toPlainText())));
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setStyle(QStringLiteral("Fusion"));
    WindowRunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_run_test.moc"
