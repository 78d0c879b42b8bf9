// Writes the seed inputs of the fuzz targets, made with the tests' archive
// builder: OUTPUT_FOLDER/unzip_fuzz/*.zip. The archives are named for the
// fuzz target's ZIP file (fuzz.zip), so their top folder is "fuzz/".
//   fuzz_seeds OUTPUT_FOLDER
#include "support/zipbuilder.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
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

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    try {
        const fs::path unzip = fs::path(argv[1]) / "unzip_fuzz";
        fs::create_directories(unzip);
        unzipSeeds(unzip);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
