// Everything modal the window asks of the user goes through this seam, so
// that tests can answer in the user's place.
#pragma once

#include <memory>
#include <optional>

#include <QMessageBox>
#include <QString>

#include "engine/conversion_options.h"
#include "output/file_failure.h"

class QWidget;

namespace zelvo {

class WindowDialogs {
public:
    virtual ~WindowDialogs() = default;

    // A file dialog; nullopt when cancelled. `filter` uses Qt's ";;" form.
    virtual std::optional<QString> open_file(QWidget* parent, const QString& title,
                                             const QString& directory, const QString& filter) = 0;
    virtual std::optional<QString> save_file(QWidget* parent, const QString& title,
                                             const QString& directory, const QString& file_name,
                                             const QString& filter) = 0;
    virtual std::optional<ColorRef> choose_color(QWidget* parent, ColorRef initial) = 0;

    // Message boxes: caption, text, and the icon and buttons each one has.
    virtual void information(QWidget* parent, const QString& caption, const QString& text) = 0;
    // The same box with more text behind "Show Details...".
    virtual void information_with_details(QWidget* parent, const QString& caption, const QString& text,
                                          const QString& details) {
        (void)details;
        information(parent, caption, text);
    }
    virtual void warning(QWidget* parent, const QString& caption, const QString& text) = 0;
    virtual void error(QWidget* parent, const QString& caption, const QString& text) = 0;
    // "&Yes" and "&No"; true for Yes.
    virtual bool ask_yes_no(QWidget* parent, const QString& caption, const QString& text) = 0;
    // "Abort", "Retry" and "Ignore" for a file the archive cannot take;
    // closing the box counts as Abort.
    virtual FileFailureAction abort_retry_ignore(QWidget* parent, const QString& caption,
                                                 const QString& text) = 0;
};

// A message box as the window shows it, made but not yet shown. With
// `details`, the text behind "Show Details..." keeps its columns and the
// box, opened up, fits on the parent's screen (or the primary one).
std::unique_ptr<QMessageBox> make_message_box(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                              const QString& text, const QString& details = QString());

// The real dialogs of the toolkit.
class QtWindowDialogs : public WindowDialogs {
public:
    std::optional<QString> open_file(QWidget* parent, const QString& title,
                                     const QString& directory, const QString& filter) override;
    std::optional<QString> save_file(QWidget* parent, const QString& title,
                                     const QString& directory, const QString& file_name,
                                     const QString& filter) override;
    std::optional<ColorRef> choose_color(QWidget* parent, ColorRef initial) override;
    void information(QWidget* parent, const QString& caption, const QString& text) override;
    void information_with_details(QWidget* parent, const QString& caption, const QString& text,
                                  const QString& details) override;
    void warning(QWidget* parent, const QString& caption, const QString& text) override;
    void error(QWidget* parent, const QString& caption, const QString& text) override;
    bool ask_yes_no(QWidget* parent, const QString& caption, const QString& text) override;
    FileFailureAction abort_retry_ignore(QWidget* parent, const QString& caption,
                                         const QString& text) override;
};

}  // namespace zelvo
