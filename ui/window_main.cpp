#include "ui/window_main.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <exception>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

// Whether a local socket accepts a connection; "@" starts an abstract name.
bool accepts_connection(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    if (path[0] == '@') address.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    ::close(fd);
    return connected;
}

// A Wayland compositor's socket: the name itself when absolute, otherwise
// under $XDG_RUNTIME_DIR.
bool wayland_answers(const std::string& name) {
    if (name[0] == '/') return accepts_connection(name);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime && accepts_connection(std::string(runtime) + "/" + name);
}

// An X server on this machine listens on /tmp/.X11-unix/X<n> (or its
// abstract twin); one on another host, or reached through a forwarded TCP
// port, is left to the toolkit to try.
bool x11_answers(const std::string& display) {
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos) return true;
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") return true;
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return true;
    const std::string socket = "/tmp/.X11-unix/X" + number;
    return accepts_connection(socket) || accepts_connection("@" + socket);
}

// Without a display Qt would stop the program (an abort) rather than
// report it; a display named in the environment must also answer. A chosen
// platform (QT_QPA_PLATFORM, such as offscreen) is the toolkit's to judge.
bool has_display() {
    auto set = [](const char* name) -> std::string {
        const char* v = std::getenv(name);
        return v ? v : "";
    };
    if (!set("QT_QPA_PLATFORM").empty()) return true;
    const std::string wayland = set("WAYLAND_DISPLAY"), x11 = set("DISPLAY");
    return (!wayland.empty() && wayland_answers(wayland)) || (!x11.empty() && x11_answers(x11));
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
