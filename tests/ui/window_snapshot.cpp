// Draws the window as a user first sees it, with a log chosen and a run part
// way through, and saves the picture: window_snapshot <out.png>.
// With a log and an archive, window_snapshot <out.png> <log> <archive>
// converts the log and saves the whole screen once the closing message
// shows its details.
// Not a test; docs/window.png is made with it under Xvfb.
#include <clocale>
#include <cstdio>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
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
    if (argc >= 4) {
        form.handle_dropped_files({QString::fromLocal8Bit(argv[2])});
        form.controls().output_edit->setText(QString::fromLocal8Bit(argv[3]));
        form.show();
        int rc = 1;
        // The closing message is modal: it is looked for once the run is over.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            poll.stop();
            for (QAbstractButton* b : box->buttons())
                if (box->buttonRole(b) == QMessageBox::ActionRole) b->click();  // "Show Details..."
            QTimer::singleShot(300, [&, box] {
                rc = QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
                box->accept();
                QApplication::quit();
            });
        });
        poll.start(100);
        QTimer::singleShot(200, [&] { form.run_conversion(); });
        QApplication::exec();
        return rc;
    }
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
