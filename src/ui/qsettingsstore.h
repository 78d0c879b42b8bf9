// The settings store on QSettings: one INI file per application name under
// the user's configuration folder, one group per section.
#pragma once

#include "inspection/services.h"

#include <string>

namespace morvik::ui {

// Keeps values as typed: leading and trailing spaces and non-ASCII text come
// back unchanged. The file is <config folder>/<appName>/<appName>.ini, where
// the config folder follows XDG_CONFIG_HOME, so two copies of the program under
// different file names keep separate settings.
class QSettingsStore : public inspection::SettingsStore {
public:
    void save(const std::string& appName, const std::string& section, const std::string& key,
              const std::string& value) override;
    std::string read(const std::string& appName, const std::string& section,
                     const std::string& key) override;
};

} // namespace morvik::ui
