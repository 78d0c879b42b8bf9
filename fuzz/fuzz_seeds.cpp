// Writes the seed inputs of the fuzz targets: OUTPUT_FOLDER/unzip_fuzz/*.zip,
// made with the tests' archive builder (named for the fuzz target's ZIP file,
// fuzz.zip, so their top folder is "fuzz/"); OUTPUT_FOLDER/xml_fuzz/*, the
// documents of the demo fixtures and typical broken ones, each behind the
// byte that picks the schema; OUTPUT_FOLDER/commandline_fuzz/*, argument
// lists split at NUL bytes. Run from the source folder.
//   fuzz_seeds OUTPUT_FOLDER
#include "support/zipbuilder.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace morvik::test;

namespace {

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ZipEntry raw(ZipEntry entry) {
    entry.nameBytes = ZipNameBytes::raw;
    return entry;
}

void unzipSeeds(const fs::path& folder) {
    const std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc>山田　太郎</doc>\n";
    const auto zip = [&](const std::string& name, const std::vector<ZipEntry>& entries,
                         const ZipOptions& options = {}) {
        writeZip(folder / (name + ".zip"), entries, options);
    };
    zip("layout",
        {zipFolder("fuzz/"), zipFile("fuzz/ix08_V08.xml", doc), zipFolder("fuzz/DATA/"),
         zipFile("fuzz/DATA/h1.xml", doc), zipFile("fuzz/DATA/h2.xml", doc, ZipMethod::store),
         zipFile("fuzz/CLAIMS/c1.xml", doc), zipFile("fuzz/empty.xml", "")});
    zip("replaces", {zipFile("fuzz/DATA/old.xml", doc), zipFile("fuzz/DATA/new.xml", doc)});
    zip("names",
        {zipCp932File("fuzz/健診データ/表～①.xml", doc), raw(zipFile("fuzz\\win\\b.xml", doc)),
         zipFile("fuzz/utf/健診.xml", doc), zipFile("./fuzz/./dot.xml", doc)});
    zip("beside", {zipFile("fuzz/a.xml", doc), zipFile("other/planted.txt", doc),
                   zipFile("users_report.docx", doc)});
    zip("refused", {zipFile("fuzz/a.xml", doc), raw(zipFile("../escape.txt", doc)),
                    zipSymlink("fuzz/link", "../..")});
    zip("encrypted", {zipFile("fuzz/a.xml", doc)}, {"secret"});
    ZipEntry lying = zipFile("fuzz/big.xml", std::string(3000, 'a'));
    lying.declaredSize = 100;
    zip("lying", {zipFile("fuzz/a.xml", doc), lying});
    std::vector<ZipEntry> many;
    for (int i = 0; i < 40; ++i) {
        many.push_back(zipFile("fuzz/DATA/h" + std::to_string(i) + ".xml", doc));
    }
    zip("many", many);

    // Byte by byte: ZIP64, a CRC error after good entries, overlaps, zeros.
    RawZipEntry big = rawFile("fuzz/DATA/z64.xml", doc);
    big.zip64 = true;
    writeBytes(folder / "zip64.zip", rawZip({rawFile("fuzz/a.xml", doc), big}));
    RawZipEntry badCrc = rawFile("fuzz/DATA/bad.xml", doc, false);
    badCrc.crc ^= 1;
    writeBytes(folder / "crc.zip", rawZip({rawFile("fuzz/DATA/old.xml", "new"),
                                           rawFile("fuzz/DATA/x.xml", doc), badCrc}));
    RawZipEntry shared = rawFile("fuzz/b.xml", doc);
    shared.sharesHeaderOf = 0;
    writeBytes(folder / "overlap.zip", rawZip({rawFile("fuzz/a.xml", doc), shared}));
    RawZipEntry zeros;
    zeros.name = "fuzz/zeros.bin";
    zeros.size = 2 << 20;
    zeros.data = deflatedZeros(zeros.size);
    zeros.crc = crc32OfZeros(zeros.size);
    writeBytes(folder / "zeros.zip", rawZip({zeros}));
}

} // namespace

void xmlSeeds(const fs::path& folder) {
    const std::string doc = "<?xml version=\"1.0\"?>\n<doc xmlns=\"urn:hl7-org:v3\">\n";
    const std::vector<std::pair<std::string, std::string>> documents = {
        {"valid", doc + "<item ID=\"a\" key=\"1\" code=\"EVN\"/><ref IDREF=\"a\" to=\"1\"/>"
                        "<n>5</n><text>健診</text>\n</doc>\n"},
        {"repeated-id", doc + "<item ID=\"a\" key=\"1\"/><item ID=\"a\" key=\"2\"/></doc>"},
        {"dangling", doc + "<ref many=\"a b\"/></doc>"},
        {"keyref", doc + "<item key=\"1\"/><ref to=\"2\"/></doc>"},
        {"truncated", doc + "<item key=\"1\"/><ite"},
        {"doctype", "<?xml version=\"1.0\"?>\n<!DOCTYPE doc [<!ENTITY e \"x\">]>\n"
                    "<doc xmlns=\"urn:hl7-org:v3\"><text>&e;</text></doc>"},
        {"sjis", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r<doc xmlns=\"urn:hl7-org:v3\">"
                 "<text>\x8C\x92\x90\x66</text></doc>\r"},
        {"claim", "<claim xmlns=\"urn:other\">1</claim>"},
    };
    for (const auto& [name, text] : documents) {
        writeBytes(folder / name, std::string(1, '\0') + text);
        writeBytes(folder / (name + "-other"), std::string(1, '\1') + text);
    }
    // The demo archive's own documents.
    const fs::path demo = "tests/fixtures/demo";
    std::error_code error;
    for (const auto& item : fs::recursive_directory_iterator(demo, error)) {
        if (item.is_regular_file() && item.path().extension() == ".xml") {
            std::ifstream in(item.path(), std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
            writeBytes(folder / ("demo-" + item.path().filename().string()),
                       std::string(1, '\0') + text);
        }
    }
}

void commandlineSeeds(const fs::path& folder) {
    const std::vector<std::vector<std::string>> lists = {
        {"a.zip"},
        {"--schema", "XSD", "--json", "-", "--all-errors", "a.zip", "b.zip"},
        {"--max-extracted-size=8G", "--reasons=en", "--verbose", "--", "-x.zip"},
        {"--help"},
        {"--version", "--bogus"},
        {"--json=report.json", "--schema=", "a.zip"},
    };
    int index = 0;
    for (const auto& list : lists) {
        std::string bytes;
        for (std::size_t i = 0; i < list.size(); ++i) {
            bytes += (i > 0 ? std::string(1, '\0') : std::string()) + list[i];
        }
        writeBytes(folder / ("args" + std::to_string(index++)), bytes);
    }
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    try {
        const fs::path unzip = fs::path(argv[1]) / "unzip_fuzz";
        fs::create_directories(unzip);
        unzipSeeds(unzip);
        const fs::path xml = fs::path(argv[1]) / "xml_fuzz";
        fs::create_directories(xml);
        xmlSeeds(xml);
        const fs::path commandline = fs::path(argv[1]) / "commandline_fuzz";
        fs::create_directories(commandline);
        commandlineSeeds(commandline);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
