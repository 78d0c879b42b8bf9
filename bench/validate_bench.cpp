// Validation benchmark: N generated health-checkup-sized documents (about
// 30 KB each) against a generated schema set of realistic size (a main
// schema including a data-type file that includes a large vocabulary), one
// XmlSchemaChk call per document, with schema reuse and without it, and
// `xmllint --noout --schema` over the same files in the same run. When the
// real 2024 file set is at hand, the same three runs over N copies of its
// checkup documents against its hc08_V08.xsd set. Then one large document.
// Each measured run is a process of its own, so that its peak resident
// memory is its own. Figures from this machine: bench/validate.md.
//
//   validate_bench [--docs N] [--big-mb M] [--dir D]
//
// Defaults: 500 documents, one 200 MB document, files in a temporary folder
// that is removed at the end; with --dir they are written to D and kept
// (for profiling: validate_bench --worker D/xsd/main.xsd D/list.txt).
#include "inspection/xmlschemachk.h"
#include "measure.h"
#include "platform/xml/xmlparser.h"
#include "support/testutil.h"

#include <archive.h>
#include <archive_entry.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// --- generated files ---------------------------------------------------------------

constexpr int kVocabularyTypes = 40;
constexpr int kCodesPerType = 300;

std::string codeOf(int type, int code) {
    return "C" + std::to_string(type) + "_" + std::to_string(1000 + code);
}

void writeSchemaSet(const fs::path& dir) {
    std::ofstream voc(dir / "core" / "voc.xsd");
    voc << R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
)";
    for (int t = 0; t < kVocabularyTypes; ++t) {
        voc << "  <xs:simpleType name=\"Code" << t << "\">\n"
            << "    <xs:annotation><xs:documentation>検査項目コード " << t
            << "</xs:documentation></xs:annotation>\n"
            << "    <xs:restriction base=\"xs:token\">\n";
        for (int c = 0; c < kCodesPerType; ++c) {
            voc << "      <xs:enumeration value=\"" << codeOf(t, c) << "\"/>\n";
        }
        voc << "    </xs:restriction>\n  </xs:simpleType>\n";
    }
    voc << "</xs:schema>\n";
    voc.close();

    std::ofstream types(dir / "core" / "datatypes.xsd");
    types << R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:include schemaLocation="voc.xsd"/>
  <xs:complexType name="Section">
    <xs:sequence>
      <xs:element name="title" type="xs:string"/>
      <xs:choice maxOccurs="unbounded">
)";
    for (int t = 0; t < kVocabularyTypes; ++t) {
        types << "        <xs:element name=\"obs" << t << "\" type=\"Observation" << t << "\"/>\n";
    }
    types << R"(      </xs:choice>
    </xs:sequence>
  </xs:complexType>
)";
    // One observation type per vocabulary: its code is checked against that
    // vocabulary's list alone.
    for (int t = 0; t < kVocabularyTypes; ++t) {
        types << "  <xs:complexType name=\"Observation" << t << R"(">
    <xs:sequence>
      <xs:element name="text" type="xs:string" minOccurs="0"/>
    </xs:sequence>
    <xs:attribute name="code" type="Code)"
              << t << R"(" use="required"/>
    <xs:attribute name="value" type="xs:decimal" use="required"/>
    <xs:attribute name="unit" type="xs:token"/>
  </xs:complexType>
)";
    }
    types << R"(  <xs:complexType name="Patient">
    <xs:sequence>
      <xs:element name="id" type="xs:token"/>
      <xs:element name="name" type="xs:string"/>
      <xs:element name="birthTime" type="xs:date"/>
    </xs:sequence>
  </xs:complexType>
</xs:schema>
)";
    types.close();

    std::ofstream main(dir / "main.xsd");
    main << R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:include schemaLocation="core/datatypes.xsd"/>
  <xs:element name="ClinicalDocument">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="patient" type="Patient"/>
        <xs:element name="section" type="Section" maxOccurs="unbounded"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>
</xs:schema>
)";
}

std::string entry(int i) {
    const int type = i % kVocabularyTypes;
    const std::string name = "obs" + std::to_string(type);
    return "    <" + name + " code=\"" + codeOf(type, (i * 7) % kCodesPerType) + "\" value=\"" +
           std::to_string(i % 200) + "." + std::to_string(i % 10) +
           "\" unit=\"mg/dL\"><text>所見なし</text></" + name + ">\n";
}

std::string documentHead(int number) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ClinicalDocument "
           "xmlns=\"urn:hl7-org:v3\">\n  <patient><id>P" +
           std::to_string(number) +
           "</id><name>健診 太郎</name><birthTime>1970-01-01</birthTime></patient>\n";
}

// About 30 KB: 10 sections of 30 entries.
std::string smallDocument(int number) {
    std::string text = documentHead(number);
    int i = number;
    for (int s = 0; s < 10; ++s) {
        text += "  <section>\n    <title>検査結果 " + std::to_string(s) + "</title>\n";
        for (int e = 0; e < 30; ++e) {
            text += entry(i++);
        }
        text += "  </section>\n";
    }
    return text + "</ClinicalDocument>\n";
}

void writeLargeDocument(const fs::path& path, std::size_t megabytes) {
    std::ofstream out(path, std::ios::binary);
    out << documentHead(0);
    std::size_t written = 0;
    int i = 0;
    while (written < megabytes * 1024 * 1024) {
        std::string section = "  <section>\n    <title>検査結果</title>\n";
        for (int e = 0; e < 1000; ++e) {
            section += entry(i++);
        }
        section += "  </section>\n";
        out << section;
        written += section.size();
    }
    out << "</ClinicalDocument>\n";
}

// --- measuring ----------------------------------------------------------------------

using morvik::bench::Measure;

// Runs argv as a process of its own; its stdout is kept, its stderr dropped.
Measure run(const std::vector<std::string>& argv,
            const std::vector<std::string>& environment = {}) {
    return morvik::bench::measureCommand(argv, environment, morvik::bench::Output::capture);
}

// xmllint over many files, in batches that fit a command line.
Measure runXmllint(const fs::path& schema, const std::vector<fs::path>& files,
                   const std::vector<std::string>& options) {
    Measure total;
    constexpr std::size_t kBatch = 1000;
    for (std::size_t from = 0; from < files.size(); from += kBatch) {
        std::vector<std::string> argv = {"xmllint"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {"--noout", "--schema", schema.string()});
        for (std::size_t i = from; i < std::min(files.size(), from + kBatch); ++i) {
            argv.push_back(files[i].string());
        }
        total.add(run(argv));
    }
    return total;
}

void printRow(const std::string& name, const Measure& m, const std::string& result) {
    const std::string shown = result.substr(0, std::min<std::size_t>(60, result.find('\n')));
    std::printf("%-44s %9.3f %9.3f %12.1f   %s\n", name.c_str(), m.wall, m.cpu,
                static_cast<double>(m.peakKb) / 1024.0, shown.c_str());
}

// --- the measured work, in a process of its own -----------------------------------------

struct NullStatus : morvik::inspection::StatusLine {
    void MsgDisp(const std::string&) override {}
};

// Validates every document named in the list file; prints "valid/total".
int worker(const std::string& schemaPath, const std::string& listPath) {
    const fs::path schema(schemaPath);
    const std::string schemaFolder = schema.parent_path().string() + "/";
    const std::string schemaName = schema.filename().string();
    std::ifstream list(listPath);
    std::string line;
    int valid = 0;
    int total = 0;
    NullStatus status;
    std::string firstFailure;
    while (std::getline(list, line)) {
        const fs::path document(line);
        std::string message;
        std::string detail;
        const int result = morvik::inspection::XmlSchemaChk(
            document.parent_path().string() + "/", document.filename().string(), schemaFolder,
            schemaName, message, detail, status);
        ++total;
        if (result == 0) {
            ++valid;
        } else if (firstFailure.empty()) {
            firstFailure = message + " " + detail;
        }
    }
    std::printf("%d/%d %s\n", valid, total, firstFailure.c_str());
    std::fflush(stdout);
    return valid == total ? 0 : 1;
}

// The checkup documents (DATA/*.xml) of the real archive, when it is at hand.
std::vector<std::string> realCheckupDocuments(const fs::path& zip) {
    std::vector<std::string> result;
    struct ReadFree {
        void operator()(archive* a) const noexcept { archive_read_free(a); }
    };
    std::unique_ptr<archive, ReadFree> reader(archive_read_new());
    archive_read_support_format_zip(reader.get());
    if (archive_read_open_filename(reader.get(), zip.c_str(), 64 * 1024) != ARCHIVE_OK) {
        return result;
    }
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        const std::string name = archive_entry_pathname(entry);
        if (name.find("/DATA/") == std::string::npos || !name.ends_with(".xml")) {
            continue;
        }
        std::string content(static_cast<std::size_t>(archive_entry_size(entry)), '\0');
        if (archive_read_data(reader.get(), content.data(), content.size()) ==
            static_cast<la_ssize_t>(content.size())) {
            result.push_back(std::move(content));
        }
    }
    return result;
}

// The three runs over one set of documents and one schema.
void compareRuns(const std::string& self, const fs::path& schema, const fs::path& list,
                 const std::vector<fs::path>& files) {
    const double count = static_cast<double>(files.size());
    std::printf("%-44s %9s %9s %12s   %s\n", "run", "wall s", "CPU s", "peak RSS MB", "result");
    const Measure reuse = run({self, "--worker", schema.string(), list.string()});
    printRow("XmlSchemaChk per document, schema reuse", reuse, reuse.output);
    const Measure noReuse = run({self, "--worker", schema.string(), list.string()},
                                {std::string(morvik::platform::kNoSchemaCacheVariable) + "=1"});
    printRow("XmlSchemaChk per document, no reuse", noReuse, noReuse.output);
    const Measure lint = runXmllint(schema, files, {});
    printRow("xmllint --noout --schema (batches of 1000)", lint,
             lint.exitCode == 0 ? "all valid" : "exit " + std::to_string(lint.exitCode));
    std::printf("per document: reuse %.2f ms, no reuse %.2f ms, xmllint %.2f ms\n"
                "wall time: reuse / xmllint = %.2f, no reuse / reuse = %.1f\n",
                1000 * reuse.wall / count, 1000 * noReuse.wall / count, 1000 * lint.wall / count,
                reuse.wall / lint.wall, noReuse.wall / reuse.wall);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--worker") == 0) {
        return worker(argv[2], argv[3]);
    }
    int documents = 500;
    std::size_t bigMegabytes = 200;
    std::string keepIn;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--docs") == 0) {
            documents = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--big-mb") == 0) {
            bigMegabytes = static_cast<std::size_t>(std::atoll(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--dir") == 0) {
            keepIn = argv[i + 1];
        }
    }
    const std::string self = fs::read_symlink("/proc/self/exe").string();

    morvik::test::TempDir temporary;
    const fs::path root = keepIn.empty() ? temporary.path() : fs::path(keepIn);
    struct {
        fs::path folder;
        const fs::path& path() const { return folder; }
    } dir{root};
    fs::create_directories(dir.path() / "xsd" / "core");
    fs::create_directories(dir.path() / "DATA");
    writeSchemaSet(dir.path() / "xsd");
    const fs::path schema = dir.path() / "xsd" / "main.xsd";
    std::uintmax_t schemaBytes = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir.path() / "xsd")) {
        schemaBytes += e.is_regular_file() ? e.file_size() : 0;
    }

    std::vector<fs::path> files;
    std::uintmax_t documentBytes = 0;
    {
        std::ofstream list(dir.path() / "list.txt");
        for (int n = 0; n < documents; ++n) {
            const fs::path path = dir.path() / "DATA" / ("h" + std::to_string(100000 + n) + ".xml");
            const std::string text = smallDocument(n);
            documentBytes += text.size();
            std::ofstream(path, std::ios::binary) << text;
            list << path.string() << "\n";
            files.push_back(path);
        }
    }
    const fs::path list = dir.path() / "list.txt";

    std::printf("%d documents, %.1f KB each on average; schema set %.0f KB in 3 files\n\n",
                documents, static_cast<double>(documentBytes) / documents / 1024.0,
                static_cast<double>(schemaBytes) / 1024.0);
    compareRuns(self, schema, list, files);

#ifdef MORVIK_SOURCE_DIR
    const fs::path real =
        fs::path(MORVIK_SOURCE_DIR) / ".." / "shared" / "realdata" / "mhlw-v08-2024";
    const std::vector<std::string> realDocuments =
        realCheckupDocuments(real / "5521111111_00280081_202405271_1.zip");
    if (!realDocuments.empty() && fs::exists(real / "XSD" / "hc08_V08.xsd")) {
        fs::create_directories(dir.path() / "REAL");
        std::vector<fs::path> realFiles;
        std::ofstream realList(dir.path() / "real.txt");
        for (int n = 0; n < documents; ++n) {
            const fs::path path = dir.path() / "REAL" / ("h" + std::to_string(100000 + n) + ".xml");
            std::ofstream(path, std::ios::binary) << realDocuments[n % realDocuments.size()];
            realList << path.string() << "\n";
            realFiles.push_back(path);
        }
        realList.close();
        std::printf("\n%d copies of the %zu real checkup documents against the real "
                    "hc08_V08.xsd set\n",
                    documents, realDocuments.size());
        compareRuns(self, real / "XSD" / "hc08_V08.xsd", dir.path() / "real.txt", realFiles);
    }
#endif

    if (bigMegabytes > 0) {
        const fs::path big = dir.path() / "big.xml";
        writeLargeDocument(big, bigMegabytes);
        std::ofstream(dir.path() / "big.txt") << big.string() << "\n";
        std::printf("\none document of %.0f MB\n",
                    static_cast<double>(fs::file_size(big)) / 1048576.0);
        const Measure one =
            run({self, "--worker", schema.string(), (dir.path() / "big.txt").string()});
        printRow("XmlSchemaChk", one, one.output);
        const Measure lintStream = runXmllint(schema, {big}, {"--stream"});
        printRow("xmllint --stream --noout --schema", lintStream,
                 lintStream.exitCode == 0 ? "valid"
                                          : "exit " + std::to_string(lintStream.exitCode));
        const Measure lintTree = runXmllint(schema, {big}, {});
        printRow("xmllint --noout --schema", lintTree,
                 lintTree.exitCode == 0 ? "valid" : "exit " + std::to_string(lintTree.exitCode));
    }
    return 0;
}
