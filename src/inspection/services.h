// The small interfaces through which an inspection talks to the outside:
// the desktop window, the command line and the tests each implement them.
// All text is UTF-8.
#pragma once

#include "platform/xml/xmlerror.h"

#include <string>
#include <string_view>

namespace morvik::inspection {

// Receiver of the progress texts of a validation (the status bar's panel 1).
// MsgDisp returns only after the text is visible; a window lets pending
// events through before it returns.
class StatusLine {
public:
    virtual ~StatusLine() = default;
    virtual void MsgDisp(const std::string& MsgStr) = 0;
};

enum class MessageIcon { none, critical };

// A modal message box with an OK button only; returns when it is closed.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void show(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
};

// Per-user settings, addressed by application name, section and key.
// A missing key reads as the empty text.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual void save(const std::string& appName, const std::string& section,
                      const std::string& key, const std::string& value) = 0;
    virtual std::string read(const std::string& appName, const std::string& section,
                             const std::string& key) = 0;
};

// The result log. It is cleared once per run and otherwise only appended to;
// an append costs time in proportion to the piece, not to the whole log.
class ResultLog {
public:
    virtual ~ResultLog() = default;
    virtual void clear() = 0;
    virtual void append(std::string_view piece) = 0;
};

// Starting another program without waiting for it: here only the desktop's
// file browser on a folder.
class ProgramStart {
public:
    virtual ~ProgramStart() = default;
    virtual void openFolder(const std::string& folder) = 0;
};

// Words the facts of one XML error for the result log's detail line, in the
// language the run was asked for. Without one, libxml2's English message is
// shown, and nothing for our own refusals, which only carry fields.
class ReasonWording {
public:
    virtual ~ReasonWording() = default;
    virtual std::string reason(const platform::XmlErrorFacts& facts) const = 0;
};

// Application title: caption of every message box that names no other.
inline constexpr const char* kAppTitle = "Morvik";

} // namespace morvik::inspection
