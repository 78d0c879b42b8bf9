// The desktop program's run, headless, against morvik-inspect on the same
// archive.
//
//   QT_QPA_PLATFORM=offscreen desktop_bench ZIPFILE
//       One inspection run through the main window (Command1), as a user
//       starts it: the same work as `morvik-inspect ZIPFILE`. Exit status 0
//       when the run filled the result log, 1 otherwise.
//
//   desktop_bench --compare [--documents N] [--runs R] [--work DIR]
//       Builds an archive of N real health checkup documents (the real
//       archive's DATA documents copied round-robin, its CLAIMS, index,
//       summary and schema set), then runs morvik-inspect and the desktop
//       program on fresh copies of it, R times each, interleaved, and prints
//       each run's wall and CPU seconds, the medians and their ratio.
#include "measure.h"
#include "platform/text/utf8locale.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int runOnce(char* program, const char* zip) {
    // Keep the user's own settings out of it.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    int qtArgc = 1;
    char* qtArgv[] = {program, nullptr};
    QApplication app(qtArgc, qtArgv);
    morvik::ui::MainWindow window;
    window.show();
    window.findChild<QLineEdit*>(QStringLiteral("TX_XmlFnm"))->setText(QString::fromUtf8(zip));
    window.Command1_Click();
    const auto* log = window.findChild<QPlainTextEdit*>(QStringLiteral("TX_Msg"));
    return log->document()->isEmpty() ? 1 : 0;
}

struct ReadFree {
    void operator()(archive* a) const noexcept { archive_read_free(a); }
};
struct WriteFree {
    void operator()(archive* a) const noexcept { archive_write_free(a); }
};

// The entries of the real archive below its top-level folder: name and data.
std::vector<std::pair<std::string, std::string>> readArchive(const fs::path& zip) {
    std::unique_ptr<archive, ReadFree> reader(archive_read_new());
    archive_read_support_format_zip(reader.get());
    if (archive_read_open_filename(reader.get(), zip.c_str(), 1 << 16) != ARCHIVE_OK) {
        throw std::runtime_error(archive_error_string(reader.get()));
    }
    std::vector<std::pair<std::string, std::string>> entries;
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        std::string name = archive_entry_pathname(entry);
        const std::size_t slash = name.find('/');
        if (slash == std::string::npos || archive_entry_filetype(entry) != AE_IFREG) {
            continue;
        }
        std::string data(static_cast<std::size_t>(archive_entry_size(entry)), '\0');
        if (archive_read_data(reader.get(), data.data(), data.size()) !=
            static_cast<la_ssize_t>(data.size())) {
            throw std::runtime_error("cannot read " + name);
        }
        entries.emplace_back(name.substr(slash + 1), std::move(data));
    }
    return entries;
}

void writeArchive(const fs::path& zip, const std::string& top,
                  const std::vector<std::pair<std::string, std::string>>& real, int documents) {
    std::unique_ptr<archive, WriteFree> writer(archive_write_new());
    archive_write_set_format_zip(writer.get());
    if (archive_write_open_filename(writer.get(), zip.c_str()) != ARCHIVE_OK) {
        throw std::runtime_error(archive_error_string(writer.get()));
    }
    auto add = [&](const std::string& name, const std::string& data) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                            archive_entry_free);
        archive_entry_set_pathname_utf8(entry.get(), (top + "/" + name).c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(data.size()));
        if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK ||
            archive_write_data(writer.get(), data.data(), data.size()) !=
                static_cast<la_ssize_t>(data.size())) {
            throw std::runtime_error(archive_error_string(writer.get()));
        }
    };
    std::vector<const std::string*> data;
    for (const auto& [name, content] : real) {
        if (name.rfind("DATA/", 0) == 0) {
            data.push_back(&content);
        } else {
            add(name, content);
        }
    }
    if (data.empty()) {
        throw std::runtime_error("the real archive holds no DATA documents");
    }
    for (int i = 0; i < documents; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "DATA/h%08d.xml", i);
        add(name, *data[static_cast<std::size_t>(i) % data.size()]);
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        throw std::runtime_error(archive_error_string(writer.get()));
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string fmt(double value) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(2) << value;
    return s.str();
}

int compare(int argc, char** argv) {
    int documents = 10000;
    int runs = 3;
    fs::path work = fs::temp_directory_path() / "morvik-desktop-bench";
    const fs::path self = fs::canonical("/proc/self/exe");
    fs::path inspect = self.parent_path().parent_path() / "morvik-inspect";
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::string value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--documents") {
            documents = std::stoi(value);
        } else if (arg == "--runs") {
            runs = std::stoi(value);
        } else if (arg == "--work") {
            work = value;
        } else if (arg == "--inspect") {
            inspect = value;
        } else {
            std::cerr << "usage: desktop_bench --compare [--documents N] [--runs R] [--work DIR] "
                         "[--inspect EXE]\n";
            return 64;
        }
        ++i;
    }
    const fs::path real = fs::path(MORVIK_SOURCE_DIR) / ".." / "shared" / "realdata" /
                          "mhlw-v08-2024" / "5521111111_00280081_202405271_1.zip";
    if (!fs::exists(real) || !fs::exists(inspect)) {
        std::cerr << "needs " << real << " and " << inspect << "\n";
        return 2;
    }
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string top = "5521111111_00280081_202405272_1";
    const fs::path zip = work / (top + ".zip");
    writeArchive(zip, top, readArchive(real), documents);

    struct Tool {
        std::string label;
        std::vector<std::string> args; // the ZIP path is appended
        std::vector<std::string> environment;
        std::vector<double> wall, cpu;
    };
    Tool tools[] = {{"morvik-inspect", {inspect.string()}, {}, {}, {}},
                    {"desktop, headless", {self.string()}, {"QT_QPA_PLATFORM=offscreen"}, {}, {}}};
    std::cout
        << "N = " << documents << " real documents in DATA ("
        << fmt(static_cast<double>(fs::file_size(zip)) / 1e6) << " MB archive), " << runs
        << " runs each, interleaved\n\n| run | what | wall s | CPU s |\n|---:|---|---:|---:|\n";
    for (int r = 0; r < runs; ++r) {
        // Alternate which goes first, so that neither always meets a warm cache.
        for (int k = 0; k < 2; ++k) {
            Tool& tool = tools[(r + k) % 2];
            const fs::path folder = work / ("run-" + std::to_string(r) + "-" + std::to_string(k));
            fs::create_directories(folder);
            const fs::path copy = folder / zip.filename();
            fs::copy_file(zip, copy);
            std::vector<std::string> args = tool.args;
            args.push_back(copy.string());
            const morvik::bench::Measure m = morvik::bench::measureCommand(args, tool.environment);
            // morvik-inspect: 1 means some document failed, as the CLAIMS do.
            if (m.exitCode > 1) {
                std::cerr << tool.label << " failed with " << m.exitCode << "\n";
                return 1;
            }
            tool.wall.push_back(m.wall);
            tool.cpu.push_back(m.cpu);
            std::cout << "| " << r + 1 << " | " << tool.label << " | " << fmt(m.wall) << " | "
                      << fmt(m.cpu) << " |\n"
                      << std::flush;
            fs::remove_all(folder);
        }
    }
    const double inspectWall = median(tools[0].wall);
    const double desktopWall = median(tools[1].wall);
    std::cout << "\nmedian wall: morvik-inspect " << fmt(inspectWall) << " s, desktop "
              << fmt(desktopWall)
              << " s; desktop / morvik-inspect: " << fmt(desktopWall / inspectWall)
              << "\nmedian CPU: morvik-inspect " << fmt(median(tools[0].cpu)) << " s, desktop "
              << fmt(median(tools[1].cpu)) << " s\n";
    fs::remove_all(work);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    morvik::platform::useUtf8Locale();
    if (argc >= 2 && std::strcmp(argv[1], "--compare") == 0) {
        try {
            return compare(argc, argv);
        } catch (const std::exception& error) {
            std::cerr << "desktop_bench: " << error.what() << "\n";
            return 2;
        }
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: desktop_bench ZIPFILE | desktop_bench --compare ...\n");
        return 64;
    }
    return runOnce(argv[0], argv[1]);
}
