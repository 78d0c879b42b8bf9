// Whole-run benchmark: morvik-inspect against what a Linux user would reach
// for, on archives of N copies of a real health checkup document (the real
// archive's first DATA document, with its index, summary, CLAIMS documents
// and schema set):
//
//   serial       unzip -q, then xmllint --noout --schema once per stage, one
//                after the other (index, summary, all DATA documents in one
//                call, all CLAIMS documents in one call)
//   two-process  the same, but the DATA documents in halves over two xmllint
//                processes running at once
//   one core     morvik-inspect and the serial baseline under taskset -c 0
//
// Every configuration runs R times, interleaved (the order turns each
// round); the tables give min and median, and ratios are taken pair by pair
// within a round. Also: the desktop program headless on the same archive,
// large single documents (with and without ID attributes), the cost of
// Japanese reasons on an archive whose documents all fail, optionally another
// build of morvik-inspect on one thread, and the synthetic worst case (an
// 8,000-value enumeration, not the real workload).
//
//   inspect_bench [--sizes 100,1000,10000,30000] [--runs R] [--desktop-at N]
//                 [--large 100000] [--large-runs R]
//                 [--big-mb MB] [--id-counts 100000,1000000] [--worst-mb MB]
//                 [--pair-at N] [--pair-runs R] [--versus EXE]
//                 [--versus-label TEXT] [--no-cache-max N] [--synthetic] [--reception-only]
//                 [--out FILE] [--work DIR] [--inspect EXE]
//   inspect_bench make N ZIP [--failing]     writes the archive of N documents
//   inspect_bench make-big MB IDS ZIP        writes an archive of one large document
//
// A size, a count or a run count of 0 leaves that part out. Prints the tables
// (Markdown) as they are measured and writes them to --out.
#include "inspection/validationpool.h"
#include "measure.h"
#include "platform/zip/unzip.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <sched.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ArchiveWriteFree {
    void operator()(archive* a) const noexcept { archive_write_free(a); }
};
using ArchiveWriter = std::unique_ptr<archive, ArchiveWriteFree>;

using morvik::bench::Command;
using morvik::bench::Measure;
using morvik::bench::measure;
using morvik::bench::measureChild;
using morvik::bench::measureTogether;
using morvik::bench::median;
using morvik::bench::onFirstCore;

// The real archive: ../shared/realdata beside the source tree, or the folder
// MORVIK_REALDATA names (a worktree has no ../shared of its own).
fs::path realDataFolder() {
    if (const char* folder = std::getenv("MORVIK_REALDATA"); folder != nullptr && *folder != '\0') {
        return folder;
    }
    return fs::path(MORVIK_SOURCE_DIR) / ".." / "shared" / "realdata" / "mhlw-v08-2024";
}
const fs::path kRealZip = realDataFolder() / "5521111111_00280081_202405271_1.zip";
// The real DATA document every archive copies.
const std::string kRealDocument = "h28133035892024052701_0059_00280081.xml";

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

// The schema set and the documents an archive is made of.
struct DataSet {
    std::string name;
    std::vector<std::pair<std::string, std::string>> schemas; // relative path, content
    std::string index, summary;
    std::string data; // copied N times
    std::vector<std::string> claims;
    // The schema of each stage for the xmllint baselines, in XSD/.
    std::string indexSchema, summarySchema, dataSchema, claimsSchema;
};

std::string synthCode(int i) {
    std::ostringstream s;
    s << std::setw(5) << std::setfill('0') << i << "X" << (i * 7919 % 100000);
    return s.str();
}

// Not the real workload: every document's observation codes are checked
// against one 8,000-value enumeration, libxml2's slowest path.
DataSet syntheticSet() {
    DataSet set;
    set.name = "synthetic worst case, not the real workload (su08 declares the documents; "
               "observation codes from an 8,000-value enumeration)";
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
    set.data = doc;
    set.claims = {"<?xml version=\"1.0\"?>\n<checkupClaim "
                  "xmlns=\"urn:hl7-org:v3\"><amount>9900</amount></checkupClaim>\n"};
    set.indexSchema = "ix08_V08.xsd";
    set.summarySchema = "su08_V08.xsd";
    set.dataSchema = "su08_V08.xsd";
    set.claimsSchema = "su08_V08.xsd";
    return set;
}

// The real 2024 schema set and documents.
DataSet realSet(const fs::path& scratch) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    if (morvik::platform::UnZip(
            nullptr, "-x -o -q \"" + kRealZip.string() + "\" \"" + scratch.string() + "//\" *.*", 0,
            0) != 0) {
        throw std::runtime_error("the real archive does not unpack");
    }
    const fs::path root = scratch / kRealZip.stem();
    DataSet set;
    set.name = "the real 2024 schema set (XSD/ with coreschemas/), the real index, summary and "
               "4 CLAIMS documents, and N copies of the real DATA document " +
               kRealDocument;
    for (const auto& entry : fs::recursive_directory_iterator(root / "XSD")) {
        if (entry.is_regular_file()) {
            set.schemas.emplace_back(fs::relative(entry.path(), root).string(),
                                     readAll(entry.path()));
        }
    }
    std::sort(set.schemas.begin(), set.schemas.end());
    set.index = readAll(root / "ix08_V08.xml");
    set.summary = readAll(root / "su08_V08.xml");
    set.data = readAll(root / "DATA" / kRealDocument);
    std::vector<fs::path> claims;
    for (const auto& entry : fs::directory_iterator(root / "CLAIMS")) {
        claims.push_back(entry.path());
    }
    std::sort(claims.begin(), claims.end());
    for (const fs::path& path : claims) {
        set.claims.push_back(readAll(path));
    }
    if (set.data.empty() || set.claims.empty() || set.index.empty() || set.summary.empty()) {
        throw std::runtime_error("the real archive lacks a document");
    }
    set.indexSchema = "ix08_V08.xsd";
    set.summarySchema = "su08_V08.xsd";
    set.dataSchema = "hc08_V08.xsd";
    // The CLAIMS documents' namespace is not the one cc08_V08.xsd declares:
    // they fail, for xmllint as for morvik-inspect.
    set.claimsSchema = "cc08_V08.xsd";
    fs::remove_all(scratch);
    return set;
}

std::string docName(char prefix, int i) {
    std::ostringstream s;
    s << prefix << "2813303589202405" << std::setw(6) << std::setfill('0') << i << "_00280081.xml";
    return s.str();
}

std::string topFolder(const std::string& tag) {
    return "5521111111_00280081_2024052" + tag + "_1";
}

// An archive as a producer writes it: the top folder named like the ZIP file.
void writeArchive(const fs::path& zip, const DataSet& set, int n,
                  const std::string& bigDocument = {}) {
    const std::string top = zip.stem().string();
    ZipWriter writer(zip);
    writer.add(top + "/ix08_V08.xml", set.index);
    writer.add(top + "/su08_V08.xml", set.summary);
    for (const auto& [path, content] : set.schemas) {
        writer.add(top + "/" + path, content);
    }
    for (int i = 0; i < n; ++i) {
        writer.add(top + "/DATA/" + docName('h', i), set.data);
    }
    if (!bigDocument.empty()) {
        writer.add(top + "/DATA/" + docName('h', n), bigDocument);
    }
    for (std::size_t i = 0; i < set.claims.size(); ++i) {
        writer.add(top + "/CLAIMS/" + docName('c', static_cast<int>(i)), set.claims[i]);
    }
    writer.close();
}

// The real document with its height no longer a number: every copy fails
// validation, as in an archive from a producer with a fault.
std::string failingCopy(std::string document) {
    const std::string from = "value=\"168.2\"";
    const std::size_t at = document.find(from);
    if (at == std::string::npos) {
        throw std::runtime_error("the real document's height is not where it was");
    }
    document.replace(at, from.size(), "value=\"168.2a\"");
    return document;
}

// A real-shaped document of about `bytes` bytes (within a section's size): the real document's
// header, then sections like its first one (the same entries with other measured values, so that
// the archive packs no tighter than real data and stays under the unzip layer's compression-ratio
// limit). `ids` of the sections' text blocks' <content> elements carry an ID, each followed by a
// <footnoteRef> whose IDREF names it. Returns the number of IDs written.
std::size_t realShapedDocument(const std::string& real, std::size_t bytes, std::size_t ids,
                               std::string& document) {
    const std::size_t headEnd = real.find('\n', real.find("<structuredBody>"));
    const std::size_t textAt = real.find("<text />", headEnd);
    const std::size_t sectionEnd = real.find("</section>", textAt);
    if (headEnd == std::string::npos || textAt == std::string::npos ||
        sectionEnd == std::string::npos) {
        throw std::runtime_error("the real document's first section is not where it was");
    }
    const std::string head = real.substr(0, headEnd + 1);
    const std::string entries = real.substr(textAt + std::strlen("<text />"),
                                            sectionEnd - textAt - std::strlen("<text />"));
    const std::string sectionHead = "      <component>\n        <section>\n          <code "
                                    "code=\"01010\" codeSystem=\"1.2.392.200119.6.1010\" "
                                    "displayName=\"特定健診検査・問診セクション\" />\n";
    const std::string sectionTail = "        </section>\n      </component>\n";
    const std::string tail = "    </structuredBody>\n  </component>\n</ClinicalDocument>\n";
    // One ID and its reference take about this many bytes.
    const std::size_t idUnit = 74;
    const std::size_t perSection = sectionHead.size() + entries.size() + sectionTail.size() + 20;
    if (ids * idUnit + head.size() + tail.size() + perSection >= bytes) {
        throw std::runtime_error("too many IDs for the document's size");
    }
    const std::size_t sections =
        std::max<std::size_t>(1, (bytes - ids * idUnit - head.size() - tail.size()) / perSection);
    const std::size_t idsPerSection = (ids + sections - 1) / sections;

    document.clear();
    document.reserve(bytes + perSection + idsPerSection * idUnit);
    document += head;
    std::uint64_t random = 0x9E3779B97F4A7C15ULL;
    std::size_t written = 0;
    char unit[160];
    for (std::size_t section = 0; section < sections; ++section) {
        document += sectionHead;
        const std::size_t here = std::min(idsPerSection, ids - written);
        if (here == 0) {
            document += "          <text />";
        } else {
            document += "          <text>";
            for (std::size_t i = 0; i < here; ++i, ++written) {
                std::snprintf(unit, sizeof unit,
                              "<content ID=\"n%07zu\">所見%zu</content><footnoteRef "
                              "IDREF=\"n%07zu\"/>",
                              written, written % 1000, written);
                document += unit;
            }
            document += "</text>";
        }
        // The entries, every numeric value attribute given a value of its own.
        std::size_t from = 0;
        while (true) {
            const std::size_t at = entries.find(" value=\"", from);
            if (at == std::string::npos) {
                document.append(entries, from, std::string::npos);
                break;
            }
            const std::size_t start = at + std::strlen(" value=\"");
            const std::size_t end = entries.find('"', start);
            document.append(entries, from, start - from);
            if (entries.find_first_not_of("0123456789.", start) >= end) {
                random ^= random << 13;
                random ^= random >> 7;
                random ^= random << 17;
                document += std::to_string(random % 1000) + "." + std::to_string(random / 7 % 10);
            } else {
                document.append(entries, start, end - start);
            }
            from = end;
        }
        document += sectionTail;
    }
    document += tail;
    return written;
}

struct BigDocument {
    std::size_t bytes = 0;
    std::size_t ids = 0;
};

// Writes an archive of one large real-shaped document beside the real schema
// set and documents.
BigDocument writeBigArchive(const fs::path& zip, const DataSet& set, std::size_t bytes,
                            std::size_t ids) {
    std::string document;
    BigDocument facts;
    facts.ids = realShapedDocument(set.data, bytes, ids, document);
    facts.bytes = document.size();
    writeArchive(zip, set, 0, document);
    return facts;
}

// A fresh folder holding a hard link to the archive, so that each run
// extracts anew beside it.
fs::path freshCopy(const fs::path& zip, const fs::path& folder) {
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

enum class Pin { no, firstCore };
enum class DataProcesses { one, two };

// unzip -q, then xmllint --noout --schema once per stage. With two DATA
// processes the DATA documents are split in halves over two xmllint
// processes running at once. The figures of unzip -q alone go to *unzipOnly.
Measure xmllintBaseline(const fs::path& zip, const DataSet& set, Pin pin, DataProcesses processes,
                        Measure* unzipOnly = nullptr) {
    const fs::path folder = zip.parent_path();
    auto pinned = [&](Command command) {
        return pin == Pin::firstCore ? onFirstCore(std::move(command)) : command;
    };
    Measure total = measure(pinned({{"unzip", "-q", zip.string(), "-d", folder.string()}, {}, {}}));
    if (unzipOnly != nullptr) {
        *unzipOnly = total;
    }
    const fs::path root = folder / zip.stem();
    // Relative names from the top folder keep 30,000 of them within one
    // command line's limit.
    auto list = [&](const std::string& sub) {
        std::vector<std::string> files;
        if (fs::exists(root / sub)) {
            for (const auto& entry : fs::directory_iterator(root / sub)) {
                files.push_back(sub + "/" + entry.path().filename().string());
            }
        }
        std::sort(files.begin(), files.end());
        return files;
    };
    auto xmllint = [&](const std::string& schema, std::vector<std::string>::const_iterator begin,
                       std::vector<std::string>::const_iterator end) {
        Command command{{"xmllint", "--noout", "--schema", "XSD/" + schema}, {}, root.string()};
        command.args.insert(command.args.end(), begin, end);
        return pinned(std::move(command));
    };
    auto stage = [&](const std::string& schema, const std::vector<std::string>& files) {
        if (files.empty()) {
            return;
        }
        Measure m = measure(xmllint(schema, files.begin(), files.end()));
        // xmllint's status says whether documents failed: 1 to 4 are verdicts.
        m.exitCode = m.exitCode <= 4 ? 0 : m.exitCode;
        total.add(m);
    };
    stage(set.indexSchema, {"ix08_V08.xml"});
    stage(set.summarySchema, {"su08_V08.xml"});
    const std::vector<std::string> data = list("DATA");
    if (processes == DataProcesses::two && data.size() >= 2) {
        const auto half = data.begin() + static_cast<std::ptrdiff_t>(data.size() / 2);
        Measure m = measureTogether({xmllint(set.dataSchema, data.begin(), half),
                                     xmllint(set.dataSchema, half, data.end())});
        m.exitCode = m.exitCode <= 4 ? 0 : m.exitCode;
        total.add(m);
    } else {
        stage(set.dataSchema, data);
    }
    stage(set.claimsSchema, list("CLAIMS"));
    return total;
}

std::string fmt(double value, int precision = 2) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(precision) << value;
    return s.str();
}

std::string thousands(long long value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

std::string loadAverage() {
    double load[3] = {0, 0, 0};
    if (::getloadavg(load, 3) != 3) {
        return "unknown";
    }
    return fmt(load[0]) + " " + fmt(load[1]) + " " + fmt(load[2]);
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

std::string machineFacts(const fs::path& inspect) {
    std::string cpu = "unknown";
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            cpu = line.substr(line.find(':') + 2);
            break;
        }
    }
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    const int usable =
        ::sched_getaffinity(0, sizeof allowed, &allowed) == 0 ? CPU_COUNT(&allowed) : 0;
    utsname system{};
    ::uname(&system);
    const double memoryGib = static_cast<double>(::sysconf(_SC_PHYS_PAGES)) *
                             static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024 * 1024);
    // xmllint says "using libxml version 20914" for 2.9.14, the library
    // morvik-inspect links as well.
    std::string libxml = "unknown";
    const Measure xmllintVersion = morvik::bench::measureCommand(
        {"sh", "-c", "xmllint --version 2>&1"}, {}, morvik::bench::Output::capture);
    if (const std::size_t at = xmllintVersion.output.find("libxml version ");
        at != std::string::npos) {
        const int code = std::atoi(xmllintVersion.output.c_str() + at + 15);
        libxml = std::to_string(code / 10000) + "." + std::to_string(code / 100 % 100) + "." +
                 std::to_string(code % 100);
    }
    const Measure unzipVersion =
        morvik::bench::measureCommand({"unzip", "-v"}, {}, morvik::bench::Output::capture);
    std::string unzipName = firstLine(unzipVersion.output);
    unzipName = unzipName.substr(0, unzipName.find(','));
    const std::time_t now = std::time(nullptr);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    std::ostringstream s;
    s << "Machine: " << cpu << ", " << std::thread::hardware_concurrency() << " cores (" << usable
      << " usable by this process), " << fmt(memoryGib, 0) << " GiB, Linux " << system.release
      << "; libxml2 " << libxml << " (morvik-inspect and xmllint), " << unzipName << ". Measured "
      << date << ".\n"
      << "morvik-inspect: " << inspect.filename().string() << " of this build, "
      << morvik::inspection::defaultValidationThreads()
      << " validation threads by default on this machine.\n";
    return s.str();
}

// One way of running the work, measured R times.
struct Configuration {
    std::string label;
    std::function<Measure(const fs::path& zip)> run; // zip: a fresh copy in a folder of its own
    std::vector<Measure> runs;

    std::vector<double> walls() const {
        std::vector<double> result;
        for (const Measure& m : runs) {
            result.push_back(m.wall);
        }
        return result;
    }
    double medianWall() const { return median(walls()); }
    double minWall() const {
        const std::vector<double> w = walls();
        return w.empty() ? 0 : *std::min_element(w.begin(), w.end());
    }
    double medianCpu() const {
        std::vector<double> cpu;
        for (const Measure& m : runs) {
            cpu.push_back(m.cpu);
        }
        return median(cpu);
    }
    double peakMb() const {
        long peak = 0;
        for (const Measure& m : runs) {
            peak = std::max(peak, m.peakKb);
        }
        return static_cast<double>(peak) / 1024.0;
    }
    int worstExit() const {
        int worst = 0;
        for (const Measure& m : runs) {
            worst = std::max(worst, m.exitCode);
        }
        return worst;
    }
};

// Runs each configuration `rounds` times, interleaved; the first to run
// turns each round so that none always meets the caches as another left them.
void runInterleaved(std::vector<Configuration*> configurations, const fs::path& zip,
                    const fs::path& work, int rounds) {
    const std::size_t count = configurations.size();
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < count; ++k) {
            Configuration& configuration =
                *configurations[(static_cast<std::size_t>(round) + k) % count];
            const fs::path folder = work / "run";
            const fs::path copy = freshCopy(zip, folder);
            // Writes of the last run reach the disk before this one starts.
            ::sync();
            configuration.runs.push_back(configuration.run(copy));
            fs::remove_all(folder);
        }
    }
    ::sync();
}

struct Ratio {
    double median = 0, low = 0, high = 0;
};

enum class Clock { wall, cpu, user };

// a / b on one clock, pair by pair within each round.
Ratio pairRatio(const Configuration& a, const Configuration& b, Clock clock = Clock::wall) {
    const auto seconds = [clock](const Measure& m) {
        return clock == Clock::wall ? m.wall : clock == Clock::cpu ? m.cpu : m.user;
    };
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(a.runs.size(), b.runs.size()); ++i) {
        ratios.push_back(seconds(a.runs[i]) / seconds(b.runs[i]));
    }
    if (ratios.empty()) {
        return {};
    }
    return {median(ratios), *std::min_element(ratios.begin(), ratios.end()),
            *std::max_element(ratios.begin(), ratios.end())};
}

std::string configurationTable(const std::vector<const Configuration*>& configurations) {
    std::ostringstream s;
    s << "| configuration | runs | wall min s | wall median s | CPU median s | CPU / wall | "
         "peak MB |\n|---|---:|---:|---:|---:|---:|---:|\n";
    for (const Configuration* c : configurations) {
        s << "| " << c->label << " | " << c->runs.size() << " | " << fmt(c->minWall()) << " | "
          << fmt(c->medianWall()) << " | " << fmt(c->medianCpu()) << " | "
          << fmt(c->medianWall() > 0 ? c->medianCpu() / c->medianWall() : 0) << " | "
          << fmt(c->peakMb(), 1) << " |\n";
    }
    return s.str();
}

std::string ratioRow(const std::string& label, const Ratio& r, const std::string& goal,
                     double limit) {
    std::ostringstream s;
    s << "| " << label << " | " << fmt(r.median) << " | " << fmt(r.low) << "–" << fmt(r.high)
      << " | " << goal << " | "
      << (limit <= 0          ? ""
          : r.median <= limit ? "met"
                              : "**not met**")
      << " |\n";
    return s.str();
}

const std::string kRatioHead =
    "| ratio, pair by pair | median | range | goal | |\n|---|---:|---:|---:|---|\n";

struct Options {
    std::vector<int> sizes{100, 1000, 10000, 30000};
    int runs = 3;
    // The archive of many entries where memory must stay bounded: morvik-inspect
    // alone (one xmllint call cannot name that many files), largeRuns times.
    int largeN = 100000;
    int largeRuns = 1;
    int pairRuns = 5;
    // Only the pair of the checks of the whole archive (--reception-only).
    bool receptionOnly = false;
    int desktopAt = 10000;
    int pairAt = 10000;
    int noCacheMax = 1000;
    int bigMb = 200;
    int worstMb = 100; // about 30 s here; 200 MB takes about a minute
    std::vector<std::size_t> idCounts{100000, 1000000};
    bool synthetic = false;
    fs::path versus;
    std::string versusLabel = "the other build";
    fs::path inspect, desktop, out, work;
};

struct SizeSummary {
    int n = 0;
    double morvik = 0, serial = 0, twoProcess = 0, pinnedMorvik = 0, pinnedSerial = 0;
    Ratio toSerial, toTwo, pinned;
    double peakMb = 0, cpuPerWall = 0;
    std::string loadBefore, loadAfter;
};

// The whole-run tables for one N.
std::string measureSize(const Options& options, const DataSet& set, int n, SizeSummary& summary) {
    const fs::path zip = options.work / (topFolder(std::to_string(n)) + ".zip");
    writeArchive(zip, set, n);
    const std::string inspect = options.inspect.string();
    const std::size_t threads = morvik::inspection::defaultValidationThreads();
    Configuration morvik{"morvik-inspect (" + std::to_string(threads) + " threads)",
                         [&](const fs::path& copy) {
                             return measure({{inspect, copy.string()}, {}, {}});
                         },
                         {}};
    Configuration unzipAlone{"unzip -q alone (the baselines' first step)", {}, {}};
    Configuration serial{"serial: unzip -q, then xmllint --schema per stage",
                         [&](const fs::path& copy) {
                             Measure unzipOnly;
                             const Measure m = xmllintBaseline(copy, set, Pin::no,
                                                               DataProcesses::one, &unzipOnly);
                             unzipAlone.runs.push_back(unzipOnly);
                             return m;
                         },
                         {}};
    Configuration twoProcess{"two-process: unzip -q, then xmllint, DATA in halves, two at once",
                             [&](const fs::path& copy) {
                                 return xmllintBaseline(copy, set, Pin::no, DataProcesses::two);
                             },
                             {}};
    Configuration pinnedMorvik{"morvik-inspect, taskset -c 0",
                               [&](const fs::path& copy) {
                                   return measure(onFirstCore({{inspect, copy.string()}, {}, {}}));
                               },
                               {}};
    Configuration pinnedSerial{"serial, every process under taskset -c 0",
                               [&](const fs::path& copy) {
                                   return xmllintBaseline(copy, set, Pin::firstCore,
                                                          DataProcesses::one);
                               },
                               {}};
    Configuration unzipLayer{
        "unzip layer of morvik alone",
        [&](const fs::path& copy) {
            return measureChild([&] {
                ::_exit(morvik::platform::UnZip(nullptr,
                                                "-x -o -q \"" + copy.string() + "\" \"" +
                                                    copy.parent_path().string() + "//\" *.*",
                                                0, 0));
            });
        },
        {}};
    Configuration desktop{"desktop program, headless (the same run)",
                          [&](const fs::path& copy) {
                              return measure({{options.desktop.string(), copy.string()},
                                              {"QT_QPA_PLATFORM=offscreen"},
                                              {}});
                          },
                          {}};
    std::vector<Configuration*> rotation{&morvik,       &serial,       &twoProcess,
                                         &pinnedMorvik, &pinnedSerial, &unzipLayer};
    const bool withDesktop = n == options.desktopAt && fs::exists(options.desktop);
    if (withDesktop) {
        rotation.push_back(&desktop);
    }

    summary.n = n;
    summary.loadBefore = loadAverage();
    runInterleaved(rotation, zip, options.work, options.runs);
    summary.loadAfter = loadAverage();

    std::ostringstream part;
    part << "## N = " << thousands(n) << "\n\n"
         << thousands(n) << " DATA documents, " << set.claims.size() << " CLAIMS documents ("
         << fmt(static_cast<double>(fs::file_size(zip)) / 1e6, 1)
         << " MB archive). Load average (1, 5, 15 min) before: " << summary.loadBefore
         << "; after: " << summary.loadAfter << ".\n\n";
    std::vector<const Configuration*> shown{&morvik,       &serial,     &twoProcess, &pinnedMorvik,
                                            &pinnedSerial, &unzipLayer, &unzipAlone};
    if (withDesktop) {
        shown.insert(shown.begin() + 1, &desktop);
    }
    part << configurationTable(shown) << "\n";

    summary.morvik = morvik.medianWall();
    summary.serial = serial.medianWall();
    summary.twoProcess = twoProcess.medianWall();
    summary.pinnedMorvik = pinnedMorvik.medianWall();
    summary.pinnedSerial = pinnedSerial.medianWall();
    summary.toSerial = pairRatio(morvik, serial);
    summary.toTwo = pairRatio(morvik, twoProcess);
    summary.pinned = pairRatio(pinnedMorvik, pinnedSerial);
    summary.peakMb = std::max(morvik.peakMb(), pinnedMorvik.peakMb());
    summary.cpuPerWall = morvik.medianWall() > 0 ? morvik.medianCpu() / morvik.medianWall() : 0;

    part << kRatioHead
         << ratioRow("morvik-inspect / serial, wall", summary.toSerial,
                     "≤ 0.45 at N = 10,000, ≤ 0.90 at N = 100",
                     n == 10000 ? 0.45
                     : n == 100 ? 0.9
                                : 0)
         << ratioRow("morvik-inspect / two-process, wall", summary.toTwo, "≤ 0.65 at N = 10,000",
                     n == 10000 ? 0.65 : 0)
         << ratioRow("taskset morvik-inspect / taskset serial, wall", summary.pinned,
                     "≤ 0.75 at N = 10,000", n == 10000 ? 0.75 : 0)
         << ratioRow("unzip layer / unzip -q, wall", pairRatio(unzipLayer, unzipAlone), "", 0);
    if (withDesktop) {
        part << ratioRow("desktop / morvik-inspect, wall", pairRatio(desktop, morvik), "≤ 1.10",
                         1.1);
    }
    part << "| peak MB of morvik-inspect, largest run (threads / taskset) | "
         << fmt(summary.peakMb, 1) << " | " << fmt(morvik.peakMb(), 1) << " / "
         << fmt(pinnedMorvik.peakMb(), 1) << " | ≤ 100 | "
         << (summary.peakMb <= 100 ? "met" : "**not met**") << " |\n";

    if (n <= options.noCacheMax) {
        // One run only: without schema reuse every document compiles the schema set.
        const Measure noCache = measure({{inspect, freshCopy(zip, options.work / "run").string()},
                                         {"MORVIK_NO_SCHEMA_CACHE=1"},
                                         {}});
        fs::remove_all(options.work / "run");
        part << "\nWithout schema reuse (`MORVIK_NO_SCHEMA_CACHE=1`, one run): "
             << fmt(noCache.wall) << " s wall, " << fmt(noCache.cpu) << " s CPU, "
             << fmt(static_cast<double>(noCache.peakKb) / 1024.0, 1) << " MB peak; "
             << fmt(noCache.wall / morvik.medianWall(), 1) << " × the median run with reuse.\n";
    }
    const int worst = std::max({morvik.worstExit(), pinnedMorvik.worstExit(), desktop.worstExit(),
                                serial.worstExit(), twoProcess.worstExit(),
                                pinnedSerial.worstExit(), unzipLayer.worstExit()});
    // morvik-inspect's 1 means a document failed (the CLAIMS do); the
    // desktop bench's 1 means the log stayed empty.
    if (worst > 1 || desktop.worstExit() != 0 || unzipLayer.worstExit() != 0) {
        part << "\n**A run failed** (exit status " << worst << ").\n";
    }
    part << "\n";
    fs::remove(zip);
    return part.str();
}

std::string summaryTable(const std::vector<SizeSummary>& summaries) {
    std::ostringstream s;
    s << "## Summary: median wall seconds and ratios (pair by pair)\n\n"
      << "| N | morvik-inspect | serial | two-process | taskset morvik | taskset serial | "
         "morvik / serial (≤ 0.45; N = 100: ≤ 0.9) | morvik / two-process (≤ 0.65) | "
         "taskset ratio (≤ 0.75) | "
         "peak MB (≤ 100) | CPU / wall | load before → after |\n"
      << "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n";
    for (const SizeSummary& r : summaries) {
        s << "| " << thousands(r.n) << " | " << fmt(r.morvik) << " | " << fmt(r.serial) << " | "
          << fmt(r.twoProcess) << " | " << fmt(r.pinnedMorvik) << " | " << fmt(r.pinnedSerial)
          << " | " << fmt(r.toSerial.median) << " | " << fmt(r.toTwo.median) << " | "
          << fmt(r.pinned.median) << " | " << fmt(r.peakMb, 1) << " | " << fmt(r.cpuPerWall)
          << " | " << r.loadBefore << " → " << r.loadAfter << " |\n";
    }
    return s.str() + "\n";
}

// morvik-inspect on an archive of options.largeN documents, generated here
// and removed after: wall time and the peak resident set, which is to stay
// bounded whatever the number of entries.
std::string largeSection(const Options& options, const DataSet& set) {
    const fs::path zip = options.work / (topFolder("7") + ".zip");
    writeArchive(zip, set, options.largeN);
    const std::string inspect = options.inspect.string();
    Configuration morvik{"morvik-inspect (default threads)",
                         [&](const fs::path& copy) {
                             return measure({{inspect, copy.string()}, {}, {}});
                         },
                         {}};
    Configuration unzipOnly{
        "unzip -q alone",
        [&](const fs::path& copy) {
            return measure({{"unzip", "-q", copy.string()}, {}, copy.parent_path().string()});
        },
        {}};
    const std::string before = loadAverage();
    const double archiveMb = static_cast<double>(fs::file_size(zip)) / 1e6;
    runInterleaved({&morvik, &unzipOnly}, zip, options.work, options.largeRuns);
    fs::remove(zip);
    std::ostringstream s;
    s << "## N = " << thousands(options.largeN) << ": bounded memory\n\n"
      << thousands(options.largeN) << " DATA documents (" << fmt(archiveMb, 1)
      << " MB archive, generated for this run and removed after); " << options.largeRuns
      << " run(s) each. Load average before: " << before << "; after: " << loadAverage() << ".\n\n"
      << configurationTable({&morvik, &unzipOnly}) << "\n"
      << "| figure | value | goal | |\n|---|---:|---:|---|\n"
      << "| peak MB of morvik-inspect | " << fmt(morvik.peakMb(), 1) << " | ≤ 64 | "
      << (morvik.peakMb() <= 64 ? "met" : "**not met**") << " |\n"
      << "| morvik-inspect / unzip -q alone, wall (median of pairs) | "
      << fmt(pairRatio(morvik, unzipOnly).median) << " | | |\n\n";
    return s.str();
}

// Two ways of running morvik-inspect on one archive, `pairs` times each,
// interleaved; a / b pair by pair.
std::string pairSection(const fs::path& zip, const fs::path& work, int pairs, Configuration& a,
                        Configuration& b) {
    const std::string before = loadAverage();
    runInterleaved({&a, &b}, zip, work, pairs);
    std::ostringstream s;
    s << "Load average before: " << before << "; after: " << loadAverage() << ".\n\n"
      << configurationTable({&a, &b}) << "\n"
      << "| ratio, pair by pair | median | range |\n|---|---:|---:|\n";
    const Ratio wall = pairRatio(a, b);
    const Ratio cpu = pairRatio(a, b, Clock::cpu);
    const Ratio user = pairRatio(a, b, Clock::user);
    s << "| wall | " << fmt(wall.median, 3) << " | " << fmt(wall.low, 3) << "–" << fmt(wall.high, 3)
      << " |\n| CPU (user + system) | " << fmt(cpu.median, 3) << " | " << fmt(cpu.low, 3) << "–"
      << fmt(cpu.high, 3) << " |\n| user CPU | " << fmt(user.median, 3) << " | " << fmt(user.low, 3)
      << "–" << fmt(user.high, 3) << " |\n\n";
    return s.str();
}

std::string reasonsSection(const Options& options, const DataSet& set) {
    DataSet failing = set;
    failing.data = failingCopy(set.data);
    const fs::path zip = options.work / (topFolder("3") + ".zip");
    writeArchive(zip, failing, options.pairAt);
    const std::string inspect = options.inspect.string();
    Configuration ja{"morvik-inspect --reasons=ja",
                     [&](const fs::path& copy) {
                         return measure({{inspect, "--reasons=ja", copy.string()}, {}, {}});
                     },
                     {}};
    Configuration en{"morvik-inspect --reasons=en",
                     [&](const fs::path& copy) {
                         return measure({{inspect, "--reasons=en", copy.string()}, {}, {}});
                     },
                     {}};
    std::ostringstream s;
    s << "## Japanese reasons: every document fails\n\n"
      << thousands(options.pairAt)
      << " copies of the real DATA document with its height changed to `168.2a`, so that every "
         "document fails and its reason is written; default threads.\n\n"
      << pairSection(zip, options.work, options.pairRuns, ja, en)
      << "Goal: Japanese / English below 1.02 in user CPU (system time is disk work, the same for "
         "both, and noisy).\n\n";
    fs::remove(zip);
    return s.str();
}

// The checks of the whole archive (the log's fifth section) on and off, pair
// by pair: wall time and the peak resident set.
std::string receptionSection(const Options& options, const DataSet& set) {
    const fs::path zip = options.work / (topFolder("5") + ".zip");
    writeArchive(zip, set, options.pairAt);
    const std::string inspect = options.inspect.string();
    Configuration on{"morvik-inspect (reception check on, the default)",
                     [&](const fs::path& copy) {
                         return measure({{inspect, copy.string()}, {}, {}});
                     },
                     {}};
    Configuration off{
        "morvik-inspect --no-reception-check",
        [&](const fs::path& copy) {
            return measure({{inspect, "--no-reception-check", copy.string()}, {}, {}});
        },
        {}};
    std::ostringstream s;
    s << "## The checks of the whole archive: on against --no-reception-check\n\n"
      << thousands(options.pairAt)
      << " copies of the real DATA document and the 4 real CLAIMS documents; default threads.\n\n"
      << pairSection(zip, options.work, options.pairRuns, on, off);
    std::vector<double> peaks;
    for (std::size_t i = 0; i < std::min(on.runs.size(), off.runs.size()); ++i) {
        peaks.push_back(static_cast<double>(on.runs[i].peakKb) /
                        static_cast<double>(off.runs[i].peakKb));
    }
    if (!peaks.empty()) {
        s << "Peak resident set, on / off pair by pair: median " << fmt(median(peaks), 3)
          << ", range " << fmt(*std::min_element(peaks.begin(), peaks.end()), 3) << "–"
          << fmt(*std::max_element(peaks.begin(), peaks.end()), 3) << ".\n\n";
    }
    s << "Goal: on / off at most 1.05 in wall time and in peak memory.\n\n";
    fs::remove(zip);
    return s.str();
}

// Documents validated from what the extraction inflates, while it goes on
// (MORVIK_VALIDATE_WHILE_EXTRACTING=1), against every document read back
// from its file after the extraction (the default), pair by pair.
std::string pipelineSection(const Options& options, const DataSet& set) {
    const fs::path zip = options.work / (topFolder("6") + ".zip");
    writeArchive(zip, set, options.pairAt);
    const std::string inspect = options.inspect.string();
    Configuration whileExtracting{
        "morvik-inspect, MORVIK_VALIDATE_WHILE_EXTRACTING=1",
        [&](const fs::path& copy) {
            return measure(
                {{inspect, copy.string()}, {"MORVIK_VALIDATE_WHILE_EXTRACTING=1"}, {}});
        },
        {}};
    Configuration readBack{"morvik-inspect (reading every document back, the default)",
                           [&](const fs::path& copy) {
                               return measure({{inspect, copy.string()}, {}, {}});
                           },
                           {}};
    std::ostringstream s;
    s << "## Validating while extracting against reading every document back\n\n"
      << thousands(options.pairAt)
      << " copies of the real DATA document and the 4 real CLAIMS documents; default threads.\n\n"
      << pairSection(zip, options.work, options.pairRuns, whileExtracting, readBack)
      << "Ratio: while extracting / read back.\n\n";
    fs::remove(zip);
    return s.str();
}

std::string versusSection(const Options& options, const DataSet& set) {
    const int n = options.pairAt;
    const fs::path zip = options.work / (topFolder("4") + ".zip");
    writeArchive(zip, set, n);
    const std::string inspect = options.inspect.string();
    const std::string other = options.versus.string();
    Configuration ours{"this build, MORVIK_WORKERS=1",
                       [&](const fs::path& copy) {
                           return measure({{inspect, copy.string()}, {"MORVIK_WORKERS=1"}, {}});
                       },
                       {}};
    Configuration theirs{options.versusLabel + ", MORVIK_WORKERS=1",
                         [&](const fs::path& copy) {
                             return measure({{other, copy.string()}, {"MORVIK_WORKERS=1"}, {}});
                         },
                         {}};
    std::ostringstream s;
    s << "## One validation thread: this build against " << options.versusLabel << "\n\n"
      << thousands(n) << " copies of the real DATA document.\n\n"
      << pairSection(zip, options.work, options.pairRuns, ours, theirs) << "Ratio: this build / "
      << options.versusLabel << ".\n\n";
    fs::remove(zip);
    return s.str();
}

// Large single documents: memory must stay flat with the document's size and
// grow only with the IDs it holds.
std::string bigSection(const Options& options, const DataSet& real) {
    struct Big {
        std::string label;
        std::size_t megabytes = 0;
        std::size_t ids = 0; // asked for
        BigDocument written;
        fs::path zip;
        Configuration configuration;
        int invalidRuns = 0;
    };
    const auto megabytes = static_cast<std::size_t>(options.bigMb);
    std::vector<Big> bigs;
    bigs.push_back({"real-shaped, no IDs", megabytes, 0, {}, {}, {}, 0});
    for (const std::size_t ids : options.idCounts) {
        bigs.push_back({"real-shaped, with IDs", megabytes, ids, {}, {}, {}, 0});
    }
    // As many IDs in a document half the size: memory follows the IDs.
    if (!options.idCounts.empty()) {
        const std::size_t most =
            *std::max_element(options.idCounts.begin(), options.idCounts.end());
        bigs.push_back(
            {"real-shaped, with IDs, half the size", megabytes / 2, most, {}, {}, {}, 0});
    }
    const std::string inspect = options.inspect.string();
    for (std::size_t i = 0; i < bigs.size(); ++i) {
        Big& big = bigs[i];
        big.zip = options.work / (topFolder("5" + std::to_string(i)) + ".zip");
        big.written = writeBigArchive(big.zip, real, big.megabytes * 1000 * 1000, big.ids);
        big.configuration.label = big.label;
        // The log says whether the large document itself validated.
        big.configuration.run = [&inspect, &big](const fs::path& copy) {
            Measure m = morvik::bench::measureCommand({inspect, copy.string()}, {},
                                                      morvik::bench::Output::capture);
            if (m.output.find(docName('h', 0) + "・・・・・OK") == std::string::npos) {
                ++big.invalidRuns;
            }
            m.output.clear();
            return m;
        };
    }
    const std::string before = loadAverage();
    // Each document has its archive: the rounds take them in turn.
    for (int round = 0; round < options.runs; ++round) {
        for (Big& big : bigs) {
            runInterleaved({&big.configuration}, big.zip, options.work, 1);
        }
    }
    std::ostringstream s;
    s << "## One large document\n\n"
      << "The real DATA document's header, then sections like its first one (the same entries "
         "with other measured values) up to the size; in the documents with IDs, each "
         "section's `<text>` holds `<content ID=\"…\">` elements, each followed by a "
         "`<footnoteRef IDREF=\"…\"/>` naming it. The real schema set, index, summary and "
         "CLAIMS documents beside it. "
      << options.runs << " runs each, in turn. Load average before: " << before
      << "; after: " << loadAverage() << ".\n\n"
      << "| document | MB | IDs | packs | runs | wall min s | wall median s | CPU median s | peak "
         "MB | verdict |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|---|\n";
    for (const Big& big : bigs) {
        const Configuration& c = big.configuration;
        const double packs =
            static_cast<double>(big.written.bytes) / static_cast<double>(fs::file_size(big.zip));
        s << "| " << big.label << " | " << fmt(static_cast<double>(big.written.bytes) / 1e6, 1)
          << " | " << thousands(static_cast<long long>(big.written.ids)) << " | " << fmt(packs, 0)
          << "× | " << c.runs.size() << " | " << fmt(c.minWall()) << " | " << fmt(c.medianWall())
          << " | " << fmt(c.medianCpu()) << " | " << fmt(c.peakMb(), 1) << " | "
          << (c.worstExit() > 1     ? "**run failed**"
              : big.invalidRuns > 0 ? "**not valid**"
                                    : "valid")
          << " |\n";
        fs::remove(big.zip);
    }
    s << "\nVerdict: the large document's own, from the log (the CLAIMS documents beside it "
         "fail, as everywhere here). Packs: the document's size over the archive's. Goal: peak "
         "well under 100 MB without IDs; with IDs the peak grows with their number, not with "
         "the document's size.\n\n";
    return s.str();
}

// The synthetic worst case: one document whose every observation code is
// checked against an 8,000-value enumeration.
std::string worstSection(const Options& options) {
    DataSet big = syntheticSet();
    std::string doc = big.data;
    const std::string tail = "</checkupDocument>\n";
    doc.resize(doc.size() - tail.size());
    const std::string head = "  <observation code=\"" + synthCode(42) + "\" value=\"";
    const std::string rest = "\" unit=\"mg/dL\"><text>所見なし</text></observation>\n";
    const std::size_t target = static_cast<std::size_t>(options.worstMb) * 1000 * 1000;
    doc.reserve(target + 1000);
    // Values vary as in real documents: one line repeated packs about 300
    // times, past the unzip layer's compression-ratio limit (this packs 32).
    for (std::size_t i = 0; doc.size() < target; ++i) {
        doc += head + std::to_string(i % 997) + "." + std::to_string(i % 7) + rest;
    }
    doc += tail;
    const fs::path zip = options.work / (topFolder("99") + ".zip");
    writeArchive(zip, big, 0, doc);
    doc.clear();
    doc.shrink_to_fit();
    const std::string before = loadAverage();
    const Measure m = measure(
        {{options.inspect.string(), freshCopy(zip, options.work / "run").string()}, {}, {}});
    fs::remove_all(options.work / "run");
    fs::remove(zip);
    std::ostringstream s;
    s << "## Synthetic worst case (not the real workload)\n\n"
      << "One document of " << options.worstMb
      << " MB whose every observation code is checked against an 8,000-value enumeration "
         "(libxml2 tries the values one by one). One run; load average before: "
      << before << ".\n\n| what | wall s | CPU s | peak MB | exit |\n|---|---:|---:|---:|---:|\n"
      << "| morvik-inspect | " << fmt(m.wall) << " | " << fmt(m.cpu) << " | "
      << fmt(static_cast<double>(m.peakKb) / 1024.0, 1) << " | " << m.exitCode << " |\n\n";
    return s.str();
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        if (!item.empty()) {
            items.push_back(item);
        }
    }
    return items;
}

int usage() {
    std::cerr << "usage: inspect_bench [--sizes 100,1000,10000,30000] [--runs R] "
                 "[--desktop-at N] [--large N] [--large-runs R] [--big-mb MB] [--id-counts "
                 "100000,1000000] [--worst-mb MB] "
                 "[--pair-at N] [--pair-runs R] [--versus EXE] [--versus-label TEXT] "
                 "[--no-cache-max N] [--synthetic] [--reception-only] [--out FILE] [--work DIR] "
                 "[--inspect EXE]\n"
                 "       inspect_bench make N ZIP [--failing]\n"
                 "       inspect_bench make-big MB IDS ZIP\n";
    return 64;
}

int run(int argc, char** argv) {
    Options options;
    const fs::path self = fs::canonical("/proc/self/exe");
    options.inspect = self.parent_path().parent_path() / "morvik-inspect";
    options.desktop = self.parent_path() / "desktop_bench";
    options.out = fs::path(MORVIK_SOURCE_DIR) / "bench" / "results" / "inspect_bench.md";
    options.work = fs::temp_directory_path() / "morvik-bench";

    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "make" || args[0] == "make-big")) {
        fs::create_directories(options.work);
        const DataSet set = realSet(options.work / "real");
        if (args[0] == "make" &&
            (args.size() == 3 || (args.size() == 4 && args[3] == "--failing"))) {
            DataSet chosen = set;
            if (args.size() == 4) {
                chosen.data = failingCopy(set.data);
            }
            writeArchive(args[2], chosen, std::stoi(args[1]));
            return 0;
        }
        if (args[0] == "make-big" && args.size() == 4) {
            const BigDocument facts = writeBigArchive(
                args[3], set, static_cast<std::size_t>(std::stoul(args[1])) * 1000 * 1000,
                std::stoul(args[2]));
            std::cout << args[3] << ": a document of " << facts.bytes << " bytes with " << facts.ids
                      << " IDs\n";
            return 0;
        }
        return usage();
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--reception-only") {
            // The pair of the checks of the whole archive alone.
            options.receptionOnly = true;
            options.sizes.clear();
            options.bigMb = 0;
            options.worstMb = 0;
            options.out = fs::path(MORVIK_SOURCE_DIR) / "bench" / "results" / "reception_bench.md";
            continue;
        }
        if (i + 1 >= args.size() && arg != "--synthetic") {
            return usage();
        }
        const auto value = [&]() -> std::string { return arg == "--synthetic" ? "" : args[++i]; };
        if (arg == "--sizes") {
            options.sizes.clear();
            for (const std::string& item : splitList(value())) {
                options.sizes.push_back(std::stoi(item));
            }
        } else if (arg == "--large") {
            options.largeN = std::stoi(value());
        } else if (arg == "--large-runs") {
            options.largeRuns = std::stoi(value());
        } else if (arg == "--runs") {
            options.runs = std::stoi(value());
        } else if (arg == "--pair-runs") {
            options.pairRuns = std::stoi(value());
        } else if (arg == "--desktop-at") {
            options.desktopAt = std::stoi(value());
        } else if (arg == "--pair-at") {
            options.pairAt = std::stoi(value());
        } else if (arg == "--no-cache-max") {
            options.noCacheMax = std::stoi(value());
        } else if (arg == "--big-mb") {
            options.bigMb = std::stoi(value());
        } else if (arg == "--worst-mb") {
            options.worstMb = std::stoi(value());
        } else if (arg == "--id-counts") {
            options.idCounts.clear();
            for (const std::string& item : splitList(value())) {
                if (std::stoul(item) > 0) {
                    options.idCounts.push_back(std::stoul(item));
                }
            }
        } else if (arg == "--versus") {
            options.versus = value();
        } else if (arg == "--versus-label") {
            options.versusLabel = value();
        } else if (arg == "--out") {
            options.out = value();
        } else if (arg == "--work") {
            options.work = value();
        } else if (arg == "--inspect") {
            options.inspect = value();
        } else if (arg == "--synthetic") {
            options.synthetic = true;
        } else {
            return usage();
        }
    }
    if (options.runs < 1 || options.pairRuns < 0) {
        return usage();
    }
    fs::create_directories(options.work);
    options.work = fs::canonical(options.work);
    options.inspect = fs::absolute(options.inspect);

    const bool haveReal = fs::exists(kRealZip);
    if (!haveReal && !options.synthetic) {
        std::cout << "The real archive is not here (" << kRealZip.string()
                  << "); only --synthetic runs without it.\n";
        return 0;
    }
    const DataSet set = options.synthetic ? syntheticSet() : realSet(options.work / "real");

    std::ostringstream head;
    head << "# Whole-run benchmark\n\n"
         << "Written by `build/bench/inspect_bench` (bench/inspect_bench.cpp); run on demand, "
            "never as a test.\n\n"
         << machineFacts(options.inspect) << "\n"
         << "Data: " << set.name << ".\n\n"
         << "Each configuration ran " << options.runs
         << " times, interleaved (the first to run turns each round), each on a fresh hard link "
            "of the archive in a new folder, with the disk synced between runs. Times in seconds; "
            "CPU = user + system of the process and its children; peak = the largest resident "
            "set of one process, MB (the largest of the runs). Ratios are taken within each "
            "round and their median quoted. The serial baseline runs `unzip -q`, then `xmllint "
            "--noout --schema XSD/"
         << set.indexSchema << "` on the index, `XSD/" << set.summarySchema
         << "` on the summary, `XSD/" << set.dataSchema
         << "` on all DATA documents in one call and `XSD/" << set.claimsSchema
         << "` on all CLAIMS documents in one call (which fail for their namespace, as they do "
            "in morvik-inspect), one after the other.\n\n";
    std::cout << head.str() << std::flush;

    std::vector<SizeSummary> summaries;
    std::ostringstream details;
    for (const int n : options.sizes) {
        if (n <= 0) {
            continue;
        }
        SizeSummary summary;
        const std::string part = measureSize(options, set, n, summary);
        summaries.push_back(summary);
        std::cout << part << std::flush;
        details << part;
    }
    std::ostringstream extra;
    auto add = [&](const std::string& part) {
        std::cout << part << std::flush;
        extra << part;
    };
    if (!options.synthetic && options.pairAt > 0 && options.pairRuns > 0) {
        if (!options.receptionOnly) {
            add(reasonsSection(options, set));
        }
        add(receptionSection(options, set));
        if (!options.receptionOnly) {
            add(pipelineSection(options, set));
        }
    }
    if (!options.versus.empty() && options.pairAt > 0 && options.pairRuns > 0) {
        add(versusSection(options, set));
    }
    if (!options.synthetic && !options.receptionOnly && options.largeN > 0 &&
        options.largeRuns > 0) {
        add(largeSection(options, set));
    }
    if (!options.synthetic && options.bigMb > 0) {
        add(bigSection(options, set));
    }
    if (options.worstMb > 0) {
        add(worstSection(options));
    }

    std::string table = head.str();
    if (!summaries.empty()) {
        const std::string summary = summaryTable(summaries);
        std::cout << summary;
        table += summary;
    }
    table += details.str() + extra.str();
    fs::create_directories(options.out.parent_path());
    std::ofstream(options.out) << table;
    std::cout << "written to " << options.out.string() << "\n";
    fs::remove_all(options.work);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "inspect_bench: " << error.what() << "\n";
        return 2;
    }
}
