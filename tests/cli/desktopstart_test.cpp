// The desktop program's start: its arguments and the display check, as a
// table over desktopStart(), and the built Morvik without a screen.
#include "app/desktopstart.h"
#include "cli/process.h"

#include <gtest/gtest.h>

#include <map>

using morvik::app::DesktopStart;
using morvik::app::desktopStart;
using namespace morvik::test;

TEST(DesktopStart, ArgumentsAndDisplay) {
    using Action = DesktopStart::Action;
    using Env = std::map<std::string, std::string>;
    const Env x11{{"DISPLAY", ":0"}};
    struct Case {
        std::vector<std::string> args;
        Env env;
        Action action;
        std::string zipPath;
    };
    const std::vector<Case> cases = {
        {{}, x11, Action::openWindow, ""},
        {{"/data/a.zip"}, x11, Action::openWindow, "/data/a.zip"},
        {{"--", "--odd name.zip"}, x11, Action::openWindow, "--odd name.zip"},
        {{"-style", "Fusion", "a.zip", "-reverse"}, x11, Action::openWindow, "a.zip"},
        {{"--style=Fusion", "a.zip"}, x11, Action::openWindow, "a.zip"},
        {{"a.zip"}, {{"WAYLAND_DISPLAY", "wayland-0"}}, Action::openWindow, "a.zip"},
        {{}, {{"QT_QPA_PLATFORM", "offscreen"}}, Action::openWindow, ""},
        {{"-platform", "offscreen", "a.zip"}, {}, Action::openWindow, "a.zip"},
        {{}, {{"QT_QPA_PLATFORM", "vnc:size=800x600"}}, Action::openWindow, ""},
        // No screen to draw on.
        {{}, {}, Action::noDisplay, ""},
        {{"a.zip"}, {{"DISPLAY", ""}}, Action::noDisplay, "a.zip"},
        {{}, {{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-0"}}, Action::noDisplay, ""},
        {{"-platform", "wayland"}, x11, Action::noDisplay, ""},
        // Help and version need no screen; usage errors are told before it.
        {{"--help"}, {}, Action::help, ""},
        {{"a.zip", "-h"}, {}, Action::help, ""},
        {{"--version"}, {}, Action::version, ""},
        {{"--bogus"}, {}, Action::usageError, ""},
        {{"a.zip", "b.zip"}, x11, Action::usageError, ""},
    };
    for (const auto& c : cases) {
        const auto start = desktopStart(c.args, [&](const char* name) -> const char* {
            const auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        });
        const std::string label = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(start.action, c.action) << label;
        if (c.action == Action::openWindow || c.action == Action::noDisplay) {
            EXPECT_EQ(start.zipPath, c.zipPath) << label;
        }
        const int expectedStatus = c.action == Action::usageError  ? 64
                                   : c.action == Action::noDisplay ? 69
                                                                   : 0;
        EXPECT_EQ(start.exitStatus, expectedStatus) << label;
    }
}

// The built program: no display, no QApplication, no abort.
TEST(DesktopStart, BuiltProgramWithoutDisplay) {
    const std::map<std::string, std::optional<std::string>> noScreen{
        {"DISPLAY", std::nullopt},
        {"WAYLAND_DISPLAY", std::nullopt},
        {"QT_QPA_PLATFORM", std::nullopt}};
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string errStart;
    };
    const std::vector<Case> cases = {
        {{"--version"}, 0, std::string("Morvik ") + MORVIK_VERSION + "\n", ""},
        {{"--help"}, 0, "", ""},
        {{},
         69,
         "",
         "Morvik: ウィンドウを表示できません（DISPLAY も WAYLAND_DISPLAY も設定されていません）。"
         "画面のない環境では morvik-inspect を使ってください。"},
        {{"--bogus"}, 64, "", "Morvik: unknown option --bogus\n"},
    };
    for (const auto& c : cases) {
        const auto result = runProgram(MORVIK_EXE, c.args, noScreen);
        const std::string label = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(result.signal, 0) << label;
        EXPECT_EQ(result.status, c.status) << label << result.err;
        if (c.args == std::vector<std::string>{"--help"}) {
            EXPECT_TRUE(result.out.starts_with("Usage: Morvik")) << result.out;
        } else {
            EXPECT_EQ(result.out, c.out) << label;
        }
        EXPECT_TRUE(result.err.starts_with(c.errStart)) << label << result.err;
    }
    // The no-display message is one line, in Japanese and English.
    const auto bare = runProgram(MORVIK_EXE, {}, noScreen);
    EXPECT_EQ(linesOf(bare.err).size(), 1u);
    EXPECT_NE(bare.err.find("No display"), std::string::npos);
}
