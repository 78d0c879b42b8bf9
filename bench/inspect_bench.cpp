// Whole-run benchmark: morvik-inspect against the baseline a Linux user
// would reach for (unzip -q, then xmllint --noout --schema once per stage),
// on generated archives of N health-checkup-sized documents. Also the run
// without schema reuse, extraction alone, and one very large document.
//
//   inspect_bench [--sizes 100,1000,10000] [--no-cache-max 10000]
//                 [--big-mb 200] [--out FILE] [--work DIR] [--synthetic]
//
// Prints a table (Markdown) and writes it to --out as well.
#include "measure.h"
#include "platform/unzip.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ArchiveWriteFree {
    void operator()(archive* a) const noexcept { archive_write_free(a); }
};
using ArchiveWriter = std::unique_ptr<archive, ArchiveWriteFree>;

using morvik::bench::Measure;
using morvik::bench::measureChild;
using morvik::bench::measureCommand;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class ZipWriter {
public:
    explicit ZipWriter(const fs::path& path) : m_archive(archive_write_new()) {
        archive_write_set_format_zip(m_archive.get());
        archive_write_set_options(m_archive.get(), "zip:compression=deflate");
        if (archive_write_open_filename(m_archive.get(), path.c_str()) != ARCHIVE_OK) {
            throw std::runtime_error(archive_error_string(m_archive.get()));
        }
    }
    void add(const std::string& name, const std::string& content) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                            archive_entry_free);
        archive_entry_set_pathname_utf8(entry.get(), name.c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(content.size()));
        check(archive_write_header(m_archive.get(), entry.get()));
        if (archive_write_data(m_archive.get(), content.data(), content.size()) !=
            static_cast<la_ssize_t>(content.size())) {
            throw std::runtime_error(archive_error_string(m_archive.get()));
        }
    }
    void close() { check(archive_write_close(m_archive.get())); }

private:
    void check(int rc) {
        if (rc != ARCHIVE_OK) {
            throw std::runtime_error(archive_error_string(m_archive.get()));
        }
    }
    ArchiveWriter m_archive;
};

// A schema set of realistic size: a large code vocabulary in an included file.
struct DataSet {
    std::string name;
    std::vector<std::pair<std::string, std::string>> schemas; // relative path, content
    std::string index, summary;
    std::vector<std::string> dataTemplates, claims;
    std::string dataSchema, claimsSchema; // the schema the run uses per stage
};

std::string synthCode(int i) {
    std::ostringstream s;
    s << std::setw(5) << std::setfill('0') << i << "X" << (i * 7919 % 100000);
    return s.str();
}

DataSet syntheticSet() {
    DataSet set;
    set.name = "synthetic (su08 declares the documents; 8,000-code vocabulary)";
    std::string voc =
        "<?xml version=\"1.0\"?>\n<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\""
        " xmlns=\"urn:hl7-org:v3\" targetNamespace=\"urn:hl7-org:v3\">\n"
        "<xs:simpleType name=\"ObservationCode\"><xs:restriction base=\"xs:token\">\n";
    for (int i = 0; i < 8000; ++i) {
        voc += "  <xs:enumeration value=\"" + synthCode(i) +
               "\"><xs:annotation><xs:documentation>code " + std::to_string(i) +
               "</xs:documentation></xs:annotation></xs:enumeration>\n";
    }
    voc += "</xs:restriction></xs:simpleType>\n</xs:schema>\n";
    const std::string head =
        "<?xml version=\"1.0\"?>\n<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\""
        " xmlns=\"urn:hl7-org:v3\" targetNamespace=\"urn:hl7-org:v3\""
        " elementFormDefault=\"qualified\">\n"
        "<xs:include schemaLocation=\"coreschemas/voc.xsd\"/>\n";
    set.schemas = {
        {"XSD/coreschemas/voc.xsd", voc},
        {"XSD/ix08_V08.xsd", head + "<xs:element name=\"index\"><xs:complexType><xs:sequence>"
                                    "<xs:element name=\"count\" type=\"xs:positiveInteger\"/>"
                                    "</xs:sequence></xs:complexType></xs:element>\n</xs:schema>\n"},
        {"XSD/su08_V08.xsd",
         head + "<xs:element name=\"summary\"><xs:complexType><xs:sequence>"
                "<xs:element name=\"total\" type=\"xs:nonNegativeInteger\"/>"
                "</xs:sequence></xs:complexType></xs:element>\n"
                "<xs:complexType name=\"Observation\"><xs:sequence>"
                "<xs:element name=\"text\" type=\"xs:string\" minOccurs=\"0\"/></xs:sequence>"
                "<xs:attribute name=\"code\" type=\"ObservationCode\" use=\"required\"/>"
                "<xs:attribute name=\"value\" type=\"xs:decimal\" use=\"required\"/>"
                "<xs:attribute name=\"unit\" type=\"xs:string\"/></xs:complexType>\n"
                "<xs:element name=\"checkupDocument\"><xs:complexType><xs:sequence>"
                "<xs:element name=\"name\" type=\"xs:string\"/>"
                "<xs:element name=\"observation\" type=\"Observation\" maxOccurs=\"unbounded\"/>"
                "</xs:sequence></xs:complexType></xs:element>\n"
                "<xs:element name=\"checkupClaim\"><xs:complexType><xs:sequence>"
                "<xs:element name=\"amount\" type=\"xs:nonNegativeInteger\"/>"
                "</xs:sequence></xs:complexType></xs:element>\n</xs:schema>\n"},
    };
    set.index =
        "<?xml version=\"1.0\"?>\n<index xmlns=\"urn:hl7-org:v3\"><count>1</count></index>\n";
    set.summary =
        "<?xml version=\"1.0\"?>\n<summary xmlns=\"urn:hl7-org:v3\"><total>1</total></summary>\n";
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<checkupDocument xmlns=\"urn:hl7-org:v3\">\n"
        "  <name>山田　太郎</name>\n";
    for (int i = 0; doc.size() < 30000; ++i) {
        doc += "  <observation code=\"" + synthCode(i * 31 % 8000) + "\" value=\"" +
               std::to_string(100 + i % 50) +
               ".5\" unit=\"mg/dL\"><text>所見なし</text></observation>\n";
    }
    doc += "</checkupDocument>\n";
    set.dataTemplates = {doc};
    set.claims = {"<?xml version=\"1.0\"?>\n<checkupClaim "
                  "xmlns=\"urn:hl7-org:v3\"><amount>9900</amount></checkupClaim>\n"};
    set.dataSchema = "su08_V08.xsd";
    set.claimsSchema = "su08_V08.xsd";
    return set;
}

// The real 2024 schema set and its documents, used as templates.
bool realSet(const fs::path& zipPath, const fs::path& scratch, DataSet& set) {
    if (!fs::exists(zipPath)) {
        return false;
    }
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    if (morvik::platform::UnZip(
            nullptr, "-x -o -q \"" + zipPath.string() + "\" \"" + scratch.string() + "//\" *.*", 0,
            0) != 0) {
        return false;
    }
    const fs::path root = scratch / zipPath.stem();
    set.name = "real 2024 schema set and documents (DATA against hc08_V08.xsd)";
    for (const auto& entry : fs::recursive_directory_iterator(root / "XSD")) {
        if (entry.is_regular_file()) {
            set.schemas.emplace_back(fs::relative(entry.path(), root).string(),
                                     readAll(entry.path()));
        }
    }
    set.index = readAll(root / "ix08_V08.xml");
    set.summary = readAll(root / "su08_V08.xml");
    for (const auto& entry : fs::directory_iterator(root / "DATA")) {
        set.dataTemplates.push_back(readAll(entry.path()));
    }
    for (const auto& entry : fs::directory_iterator(root / "CLAIMS")) {
        set.claims.push_back(readAll(entry.path()));
    }
    set.dataSchema = "hc08_V08.xsd";
    set.claimsSchema = "su08_V08.xsd";
    return true;
}

std::string docName(char prefix, int i) {
    std::ostringstream s;
    s << prefix << "2813303589202405" << std::setw(6) << std::setfill('0') << i << "_00280081.xml";
    return s.str();
}

void writeArchive(const fs::path& zip, const std::string& top, const DataSet& set, int n,
                  const std::string& bigDocument = {}) {
    ZipWriter writer(zip);
    writer.add(top + "/ix08_V08.xml", set.index);
    writer.add(top + "/su08_V08.xml", set.summary);
    for (const auto& [path, content] : set.schemas) {
        writer.add(top + "/" + path, content);
    }
    for (int i = 0; i < n; ++i) {
        writer.add(top + "/DATA/" + docName('h', i),
                   set.dataTemplates[i % set.dataTemplates.size()]);
    }
    if (!bigDocument.empty()) {
        writer.add(top + "/DATA/" + docName('h', n), bigDocument);
    }
    for (std::size_t i = 0; i < set.claims.size(); ++i) {
        writer.add(top + "/CLAIMS/" + docName('c', static_cast<int>(i)), set.claims[i]);
    }
    writer.close();
}

// A fresh folder holding a hard link to the archive, so each run extracts anew.
fs::path freshCopy(const fs::path& zip, const fs::path& work, const std::string& label) {
    const fs::path folder = work / label;
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path copy = folder / zip.filename();
    std::error_code error;
    fs::create_hard_link(zip, copy, error);
    if (error) {
        fs::copy_file(zip, copy);
    }
    return copy;
}

Measure baseline(const fs::path& zip, const fs::path& work, const std::string& top,
                 const DataSet& set) {
    const fs::path folder = freshCopy(zip, work, "baseline").parent_path();
    Measure total = measureCommand({"unzip", "-q", zip.string(), "-d", folder.string()});
    const fs::path root = folder / top;
    const fs::path xsd = root / "XSD";
    auto stage = [&](const std::string& schema, std::vector<std::string> files) {
        if (files.empty()) {
            return;
        }
        std::vector<std::string> args{"xmllint", "--noout", "--schema", (xsd / schema).string()};
        args.insert(args.end(), files.begin(), files.end());
        Measure m = measureCommand(args);
        m.exitCode = 0; // xmllint's status says whether documents failed; not an error here
        total.add(m);
    };
    auto list = [](const fs::path& dir) {
        std::vector<std::string> files;
        if (fs::exists(dir)) {
            for (const auto& entry : fs::directory_iterator(dir)) {
                files.push_back(entry.path().string());
            }
        }
        std::sort(files.begin(), files.end());
        return files;
    };
    stage("ix08_V08.xsd", {(root / "ix08_V08.xml").string()});
    stage("su08_V08.xsd", {(root / "su08_V08.xml").string()});
    stage(set.dataSchema, list(root / "DATA"));
    stage(set.claimsSchema, list(root / "CLAIMS"));
    return total;
}

std::string fmt(double value, int precision = 2) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(precision) << value;
    return s.str();
}

std::string row(const std::string& label, const Measure& m) {
    return "| " + label + " | " + fmt(m.wall) + " | " + fmt(m.cpu) + " | " +
           fmt(static_cast<double>(m.peakKb) / 1024.0, 1) + " |";
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::vector<int> sizes{100, 1000, 10000};
    int noCacheMax = 10000;
    int bigMb = 200;
    bool synthetic = false;
    fs::path self = fs::canonical("/proc/self/exe");
    fs::path inspect = self.parent_path().parent_path() / "morvik-inspect";
    const fs::path desktop = self.parent_path() / "desktop_bench";
    fs::path out = fs::path(MORVIK_SOURCE_DIR) / "bench" / "results" / "inspect_bench.md";
    fs::path work = fs::temp_directory_path() / "morvik-bench";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (arg == "--sizes") {
            sizes.clear();
            std::stringstream list(value());
            for (std::string item; std::getline(list, item, ',');) {
                sizes.push_back(std::stoi(item));
            }
        } else if (arg == "--no-cache-max") {
            noCacheMax = std::stoi(value());
        } else if (arg == "--big-mb") {
            bigMb = std::stoi(value());
        } else if (arg == "--out") {
            out = value();
        } else if (arg == "--work") {
            work = value();
        } else if (arg == "--inspect") {
            inspect = value();
        } else if (arg == "--synthetic") {
            synthetic = true;
        } else {
            std::cerr << "usage: inspect_bench [--sizes 100,1000,10000] [--no-cache-max N] "
                         "[--big-mb MB] [--out FILE] [--work DIR] [--inspect EXE] [--synthetic]\n";
            return 64;
        }
    }
    fs::create_directories(work);

    DataSet set;
    const fs::path realZip = fs::path(MORVIK_SOURCE_DIR) / ".." / "shared" / "realdata" /
                             "mhlw-v08-2024" / "5521111111_00280081_202405271_1.zip";
    if (synthetic || !realSet(realZip, work / "real", set)) {
        set = syntheticSet();
    }

    std::ostringstream table;
    table << "# Whole-run benchmark\n\n"
          << "Data: " << set.name << ".\n"
          << "Machine: " << std::thread::hardware_concurrency() << " cores. Times in seconds, "
          << "peak = largest resident set of one process, MB.\n\n";
    std::cout << table.str() << std::flush;

    for (int n : sizes) {
        const std::string top = "5521111111_00280081_2024052" + std::to_string(n) + "_1";
        const fs::path zip = work / (top + ".zip");
        writeArchive(zip, top, set, n);
        std::ostringstream part;
        part << "## N = " << n << " documents in DATA, " << set.claims.size() << " in CLAIMS ("
             << fmt(static_cast<double>(fs::file_size(zip)) / 1e6, 1) << " MB archive)\n\n"
             << "| what | wall s | CPU s | peak MB |\n|---|---:|---:|---:|\n";

        const Measure inspectRun =
            measureCommand({inspect.string(), freshCopy(zip, work, "inspect").string()});
        const Measure base = baseline(zip, work, top, set);
        part << row("morvik-inspect (extract + validate)", inspectRun) << "\n"
             << row("unzip -q + xmllint --schema per stage", base) << "\n";
        std::string desktopRatio;
        if (fs::exists(desktop)) {
            const Measure desktopRun =
                measureCommand({desktop.string(), freshCopy(zip, work, "desktop").string()},
                               {"QT_QPA_PLATFORM=offscreen"});
            part << row("desktop program, headless (same run)", desktopRun) << "\n";
            desktopRatio =
                "; desktop / morvik-inspect wall: " + fmt(desktopRun.wall / inspectRun.wall);
            fs::remove_all(work / "desktop");
        }
        if (n <= noCacheMax) {
            const Measure noCache =
                measureCommand({inspect.string(), freshCopy(zip, work, "nocache").string()},
                               {"MORVIK_NO_SCHEMA_CACHE=1"});
            part << row("morvik-inspect, schema reuse off", noCache) << "\n";
            part << "\nmorvik-inspect / baseline wall: " << fmt(inspectRun.wall / base.wall) << "; "
                 << "reuse off / reuse on wall: " << fmt(noCache.wall / inspectRun.wall)
                 << desktopRatio << "\n";
        } else {
            part << "\nmorvik-inspect / baseline wall: " << fmt(inspectRun.wall / base.wall)
                 << desktopRatio << "\n";
        }
        // Extraction alone: our unzip layer in a child process against unzip -q.
        const fs::path ours = freshCopy(zip, work, "extract-ours");
        const Measure extractOurs = measureChild([&] {
            ::_exit(morvik::platform::UnZip(nullptr,
                                            "-x -o -q \"" + ours.string() + "\" \"" +
                                                ours.parent_path().string() + "//\" *.*",
                                            0, 0));
        });
        const fs::path theirs = freshCopy(zip, work, "extract-unzip");
        const Measure extractUnzip =
            measureCommand({"unzip", "-q", theirs.string(), "-d", theirs.parent_path().string()});
        part << "\n| extraction alone | wall s | CPU s | peak MB |\n|---|---:|---:|---:|\n"
             << row("unzip layer of morvik", extractOurs) << "\n"
             << row("unzip -q", extractUnzip)
             << "\n\nextraction ours / unzip wall: " << fmt(extractOurs.wall / extractUnzip.wall)
             << "\n";
        if (inspectRun.exitCode > 1 || extractOurs.exitCode != 0 || extractUnzip.exitCode != 0) {
            part << "\n**A run failed**: morvik-inspect " << inspectRun.exitCode << ", unzip layer "
                 << extractOurs.exitCode << ", unzip " << extractUnzip.exitCode << "\n";
        }
        part << "\n";
        std::cout << part.str() << std::flush;
        table << part.str();
        fs::remove_all(work / "inspect");
        fs::remove_all(work / "nocache");
        fs::remove_all(work / "baseline");
        fs::remove_all(work / "extract-ours");
        fs::remove_all(work / "extract-unzip");
        fs::remove(zip);
    }

    if (bigMb > 0) {
        // One document of bigMb megabytes against the synthetic schema set.
        DataSet big = syntheticSet();
        std::string doc = big.dataTemplates.front();
        const std::string tail = "</checkupDocument>\n";
        doc.resize(doc.size() - tail.size());
        const std::string head = "  <observation code=\"" + synthCode(42) + "\" value=\"";
        const std::string rest = "\" unit=\"mg/dL\"><text>所見なし</text></observation>\n";
        const std::size_t target = static_cast<std::size_t>(bigMb) * 1000 * 1000;
        doc.reserve(target + 1000);
        // Values vary as in real documents: one line repeated packs about 300
        // times, past the unzip layer's compression-ratio limit (this packs 32).
        for (std::size_t i = 0; doc.size() < target; ++i) {
            doc += head + std::to_string(i % 997) + "." + std::to_string(i % 7) + rest;
        }
        doc += tail;
        const std::string top = "5521111111_00280081_202405299_1";
        const fs::path zip = work / (top + ".zip");
        writeArchive(zip, top, big, 0, doc);
        doc.clear();
        doc.shrink_to_fit();
        const Measure m = measureCommand({inspect.string(), freshCopy(zip, work, "big").string()});
        std::ostringstream part;
        part << "## One document of " << bigMb << " MB\n\n| what | wall s | CPU s | peak MB |\n"
             << "|---|---:|---:|---:|\n"
             << row("morvik-inspect (extract + validate)", m) << "\n\nexit status " << m.exitCode
             << " (0: the document validated)\n\n";
        std::cout << part.str() << std::flush;
        table << part.str();
        fs::remove_all(work / "big");
        fs::remove(zip);
    }

    fs::create_directories(out.parent_path());
    std::ofstream(out) << table.str();
    std::cout << "written to " << out << "\n";
    return 0;
}
