#include "ui/window_main.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "ui/command_line.h"
#include "ui/main_window.h"
#include "ui/settings_paths.h"
#include "ui/window_dialogs.h"
#include "ui/window_rules.h"
#include "ui/window_settings.h"

namespace zelvo {

namespace {

// Without a display Qt would stop the program with a message about its
// platform plugins; say what the user can do instead.
bool has_display() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* v = std::getenv(name);
        if (v && *v) return true;
    }
    return false;
}

}  // namespace

void open_log_argument(TForm1& form, const QString& argument) {
    form.handle_dropped_files({QFileInfo(argument).absoluteFilePath()});
}

int run_window(int argc, char** argv) {
    if (!has_display()) {
        std::fputs(no_window_text(argc, argv).c_str(), stderr);
        return 2;
    }
    QApplication app(argc, argv);
    // QApplication follows the user's locale; numbers in the KML must keep '.'.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("ZelvoConverter"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    QtWindowDialogs dialogs;
    try {
        TForm1 form(dialogs, SettingsLocation::of_this_program(), /*interactive=*/true);
        try {
            form.settings().load_settings(form.location().default_settings_path());
        } catch (const std::exception& e) {
            // A settings file that cannot be read is reported; the window
            // opens with its initial values and leaves the file alone.
            form.report_error(QString::fromStdString(e.what()));
        }
        if (argc == 2 && argv[1][0] != '\0')
            open_log_argument(form, QString::fromLocal8Bit(argv[1]));
        form.show();
        QApplication::exec();
    } catch (const std::exception& e) {
        dialogs.error(nullptr, QStringLiteral("ZelvoConverter"),
                      QString::fromStdString(error_report_text(e.what())));
    }
    return 0;
}

}  // namespace zelvo
