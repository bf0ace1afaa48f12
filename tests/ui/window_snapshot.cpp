// Draws the window as a user first sees it, with a log chosen and a run part
// way through, and saves the picture: window_snapshot <out.png>.
// Not a test; docs/window.png is made with it under Xvfb.
#include <clocale>
#include <cstdio>

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QTimer>

#include "ui/main_window.h"
#include "ui/window_dialogs.h"
#include "ui/window_settings.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: window_snapshot <out.png>\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("ZelvoConverter"));
    QApplication::setStyle(QStringLiteral("Fusion"));
    zelvo::QtWindowDialogs dialogs;
    zelvo::SettingsLocation loc{"/nonexistent/", "zelvoconverter", "/nonexistent", "/nonexistent"};
    zelvo::TForm1 form(dialogs, loc);
    form.settings().load_settings("");  // first start: the built-in defaults
    form.handle_dropped_files({QStringLiteral("/home/user/logs/day1.nmea")});
    form.set_status("The progress started");
    for (int i = 0; i < 37; ++i) form.advance_progress();
    form.show();
    int rc = 1;
    QTimer::singleShot(300, [&] {
        rc = form.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        QApplication::quit();
    });
    QApplication::exec();
    return rc;
}
