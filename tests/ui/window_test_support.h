// Test helpers for the window: a dialog seam that answers in the user's
// place and records what was asked, and a scratch directory.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <QString>

#include "tests/test_support.h"
#include "ui/settings_paths.h"
#include "ui/window_dialogs.h"

namespace zelvo::test {

struct DialogCall {
    QString kind;  // "open", "save", "color", "information", "warning", "error", "ask"
    QString caption;
    QString text;       // message text, or the dialog's starting directory
    QString file_name;  // preset file name of a save dialog
    QString filter;
};

class ScriptedDialogs : public WindowDialogs {
public:
    // Answers, taken in order; an empty queue cancels or says No.
    std::deque<std::optional<QString>> files;
    std::deque<std::optional<ColorRef>> colors;
    std::deque<bool> answers;
    std::vector<DialogCall> calls;
    QString last_details;  // behind "Show Details..." of the last message box that had some

    std::optional<QString> open_file(QWidget*, const QString& title, const QString& directory,
                                     const QString& filter) override;
    std::optional<QString> save_file(QWidget*, const QString& title, const QString& directory,
                                     const QString& file_name, const QString& filter) override;
    std::optional<ColorRef> choose_color(QWidget*, ColorRef initial) override;
    void information(QWidget*, const QString& caption, const QString& text) override;
    void information_with_details(QWidget*, const QString& caption, const QString& text,
                                  const QString& details) override;
    void warning(QWidget*, const QString& caption, const QString& text) override;
    void error(QWidget*, const QString& caption, const QString& text) override;
    bool ask_yes_no(QWidget*, const QString& caption, const QString& text) override;
    // Answers from `file_answers`; an empty queue aborts.
    std::deque<FileFailureAction> file_answers;
    FileFailureAction abort_retry_ignore(QWidget*, const QString& caption, const QString& text) override;

    int count(const QString& kind) const;
    const DialogCall* last(const QString& kind) const;
};

// A fresh writable directory that is both the program's directory and its
// per-user settings directory (<config home>/zelvoconverter/), so that tests
// find saved settings in one place; the config home is also the home.
struct Scratch {
    TempDir dir;
    Scratch() { std::filesystem::create_directory(dir / "zelvoconverter"); }
    std::string path() const { return dir / "zelvoconverter/"; }
    SettingsLocation location() const { return {path(), "zelvoconverter", dir.path(), dir.path()}; }
    // Writes the file when its directory is there; returns its path either way.
    std::string write(const std::string& name, const std::string& content) const;
    // The file's content; "" when there is no such file.
    std::string read(const std::string& name) const;
};

}  // namespace zelvo::test
