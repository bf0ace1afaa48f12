// The settings file as the window sees it: the eleven values read from and
// written back into the controls, and the snapshot of the last load.
#pragma once

#include <string>

#include "ui/settings_file.h"

namespace zelvo {

class TForm1;

class SettingsFile {
public:
    explicit SettingsFile(TForm1& form) : form_(form) {}

    // Reads `path` (used exactly as given) into the controls, or puts in the
    // built-in defaults when no file is there; refreshes loaded_settings().
    void load_settings(const std::string& path);
    // Writes the eleven keys to the file the save path rule names. Throws
    // std::runtime_error("Unable to write to <file>").
    void save_settings(const std::string& path);

    const SettingsValues& loaded_settings() const { return loaded_; }
    // The eleven values as the controls hold them now.
    SettingsValues current_values() const;
    // Every choice of the run that a control holds, into `options`.
    void put_choices(ConversionOptions& options) const;
    // The close-time comparison of the nine values.
    bool changed_since_load() const { return !current_values().same_nine(loaded_); }

private:
    TForm1& form_;
    SettingsValues loaded_;
};

}  // namespace zelvo
