// The desktop program's arguments and its display check.
#include "app/desktopstart.h"

#include "app/version.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace morvik::app {

namespace {

constexpr const char* kDesktopUsage =
    "Usage: Morvik [--help] [--version] [ZIPFILE]\n"
    "\n"
    "Opens the main window of 特定健診標準XML出力ファイル調査. One ZIPFILE is\n"
    "accepted, as the desktop's \"Open with\" passes it. Qt's own options\n"
    "(-platform NAME, -style NAME, ...) are passed on. Without a window:\n"
    "morvik-inspect --help.\n"
    "\n"
    "Exit status: 0 the window was closed, 64 usage error, 69 no display,\n"
    "70 internal error.\n";

constexpr const char* kNoDisplay =
    "Morvik: ウィンドウを表示できません（DISPLAY も WAYLAND_DISPLAY も設定されていません）。"
    "画面のない環境では morvik-inspect を使ってください。"
    " No display: DISPLAY and WAYLAND_DISPLAY are unset; use morvik-inspect, or set"
    " QT_QPA_PLATFORM=offscreen.\n";

constexpr int kUsageStatus = 64;
constexpr int kNoDisplayStatus = 69;

// Qt's options that take a value, and those that do not; Qt accepts each with
// one dash or two.
constexpr std::array<std::string_view, 12> kQtValueOptions = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "style",           "stylesheet",         "display",       "geometry"};
constexpr std::array<std::string_view, 6> kQtFlags = {"reverse", "nograb",      "dograb",
                                                      "sync",    "widgetcount", "testability"};

bool contains(const auto& list, std::string_view name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

bool set(const char* value) {
    return value != nullptr && *value != '\0';
}

// A platform plugin that draws on a screen of the X server or the Wayland
// compositor needs one; any other (offscreen, minimal, vnc, eglfs, ...) is
// left to Qt.
bool needsDisplay(std::string_view platform) {
    platform = platform.substr(0, platform.find(':'));
    return platform.empty() || platform == "xcb" || platform.starts_with("wayland");
}

} // namespace

DesktopStart desktopStart(const std::vector<std::string>& args,
                          const EnvironmentLookup& environment) {
    DesktopStart start;
    std::string platform;
    bool haveZip = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            if (haveZip) {
                start = {DesktopStart::Action::usageError,
                         {},
                         "Morvik: one ZIP file at most\n\n" + std::string(kDesktopUsage),
                         kUsageStatus};
                return start;
            }
            start.zipPath = arg;
            haveZip = true;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            return {DesktopStart::Action::help, {}, kDesktopUsage, 0};
        } else if (arg == "--version") {
            return {DesktopStart::Action::version, {}, std::string("Morvik ") + kVersion + "\n", 0};
        } else {
            std::string_view name(arg);
            name.remove_prefix(name.starts_with("--") ? 2 : 1);
            const std::string_view bare = name.substr(0, name.find('='));
            if (contains(kQtValueOptions, bare)) {
                std::string value;
                if (bare.size() < name.size()) {
                    value = std::string(name.substr(bare.size() + 1));
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                }
                if (bare == "platform") {
                    platform = value;
                }
            } else if (!contains(kQtFlags, bare)) {
                return {DesktopStart::Action::usageError,
                        {},
                        "Morvik: unknown option " + arg + "\n\n" + kDesktopUsage,
                        kUsageStatus};
            }
        }
    }
    if (platform.empty() && set(environment("QT_QPA_PLATFORM"))) {
        platform = environment("QT_QPA_PLATFORM");
    }
    if (needsDisplay(platform)) {
        const bool x11 = set(environment("DISPLAY"));
        const bool wayland = set(environment("WAYLAND_DISPLAY"));
        const bool available = platform.empty()              ? x11 || wayland
                               : platform.starts_with("xcb") ? x11
                                                             : wayland;
        if (!available) {
            start.action = DesktopStart::Action::noDisplay;
            start.text = kNoDisplay;
            start.exitStatus = kNoDisplayStatus;
        }
    }
    return start;
}

} // namespace morvik::app
