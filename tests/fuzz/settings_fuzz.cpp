// Any bytes read as a settings file: the values load without undefined
// behaviour, and a value written back reads back as it was.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ui/ini_file.h"
#include "ui/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelvo;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile::parse_int(std::string(text));
    IniFile ini;
    ini.parse(text);
    settings_from_ini(ini, SettingsValues::form_initial());
    for (const char* key : {"CheckBox1", "MaskEdit1", "ShapeStyleTrack", "Edit3", "Left", "Top"}) {
        std::string value = ini.read_text(kSettingsSection, key).value_or("1");
        ini.write_text(kSettingsSection, key, value);
        if (ini.read_text(kSettingsSection, key) != value) std::abort();
    }
    return 0;
}
