// Shared test helpers: temporary folders, small files, and recording
// implementations of the run's services.
#pragma once

#include "inspection/services.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace morvik::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The folder as text with a closing separator, ready to have a name appended.
    std::string folder() const { return m_path.string() + "/"; }

private:
    std::filesystem::path m_path;
};

// Writes content to path, creating the parent folders.
void writeFile(const std::filesystem::path& path, const std::string& content);
std::string readFile(const std::filesystem::path& path);

struct RecordingStatusLine : inspection::StatusLine {
    std::vector<std::string> texts;
    void MsgDisp(const std::string& MsgStr) override { texts.push_back(MsgStr); }
};

struct ShownMessage {
    std::string text;
    std::string caption;
    inspection::MessageIcon icon;
};

struct RecordingMessageBox : inspection::MessageBox {
    std::vector<ShownMessage> shown;
    void show(const std::string& text, const std::string& caption,
              inspection::MessageIcon icon) override {
        shown.push_back({text, caption, icon});
    }
};

struct MemorySettings : inspection::SettingsStore {
    // Keyed by "app|section|key"; also records the order of the saves.
    std::map<std::string, std::string> values;
    std::vector<std::string> savedKeys;
    void save(const std::string& appName, const std::string& section, const std::string& key,
              const std::string& value) override {
        values[appName + "|" + section + "|" + key] = value;
        savedKeys.push_back(key);
    }
    std::string read(const std::string& appName, const std::string& section,
                     const std::string& key) override {
        auto it = values.find(appName + "|" + section + "|" + key);
        return it == values.end() ? std::string() : it->second;
    }
};

struct StringLog : inspection::ResultLog {
    std::string text;
    int clears = 0;
    void clear() override {
        text.clear();
        ++clears;
    }
    void append(std::string_view piece) override { text.append(piece); }
};

struct RecordingProgramStart : inspection::ProgramStart {
    std::vector<std::string> opened;
    void openFolder(const std::string& folder) override { opened.push_back(folder); }
};

} // namespace morvik::test
