#include "ui/window_main.h"

#include <clocale>
#include <exception>

#include <QApplication>
#include <QMessageBox>

#include "ui/main_window.h"
#include "ui/settings_paths.h"
#include "ui/window_dialogs.h"
#include "ui/window_rules.h"
#include "ui/window_settings.h"

namespace zelvo {

int run_window(int argc, char** argv) {
    QApplication app(argc, argv);
    // QApplication follows the user's locale; numbers in the KML must keep '.'.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("ZelvoConverter"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    QtWindowDialogs dialogs;
    try {
        TForm1 form(dialogs, SettingsLocation::of_this_program(), /*interactive=*/true);
        form.settings().load_settings(form.location().default_settings_path());
        form.show();
        QApplication::exec();
    } catch (const std::exception& e) {
        dialogs.error(nullptr, QStringLiteral("ZelvoConverter"),
                      QString::fromStdString(error_report_text(e.what())));
    }
    return 0;
}

}  // namespace zelvo
