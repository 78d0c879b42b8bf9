// Morvik's verdicts for the agreement check (bench/agreement/agreement.py):
// every document validated by XmlSchemaChk against one schema, one line per
// document on standard output, fields separated by tabs:
//
//   path  status  code  line  column  reason
//
// status is XmlSchemaChk's (0 valid, -1 otherwise); code, line and column are
// the first error's (0 when valid or unknown); the reason is in English, on
// one line. Schema files are looked at once for the whole list, as a run
// does.
//
//   agreement_morvik SCHEMA_FOLDER SCHEMA_NAME DOCUMENT...
//   agreement_morvik SCHEMA_FOLDER SCHEMA_NAME --list FILE   (one path a line)
#include "inspection/xmlschemachk.h"
#include "platform/xml/xmlparser.h"
#include "report/reasons.h"

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct QuietStatus : morvik::inspection::StatusLine {
    void MsgDisp(const std::string&) override {}
};

// Tabs and line breaks would split the record.
std::string field(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

int usage() {
    std::cerr << "usage: agreement_morvik SCHEMA_FOLDER SCHEMA_NAME (DOCUMENT... | --list FILE)\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return usage();
    }
    std::string schemaFolder = argv[1];
    if (!schemaFolder.empty() && schemaFolder.back() != '/') {
        schemaFolder += '/';
    }
    const std::string schemaName = argv[2];

    std::vector<std::string> documents;
    if (std::string(argv[3]) == "--list") {
        if (argc != 5) {
            return usage();
        }
        std::ifstream list(argv[4]);
        if (!list) {
            std::cerr << "cannot read " << argv[4] << "\n";
            return 2;
        }
        for (std::string path; std::getline(list, path);) {
            if (!path.empty()) {
                documents.push_back(path);
            }
        }
    } else {
        documents.assign(argv + 3, argv + argc);
    }

    const morvik::platform::SchemaReuseScope reuse;
    QuietStatus status;
    for (const std::string& path : documents) {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        std::string message;
        std::string detail;
        morvik::inspection::ValidationFacts facts;
        const int result = morvik::inspection::XmlSchemaChk(folder, name, schemaFolder, schemaName,
                                                            message, detail, status, &facts);
        std::int32_t line = 0;
        std::int32_t column = 0;
        std::string reason = result == 0 ? "" : message;
        if (!facts.errors.empty()) {
            line = facts.errors.front().line;
            column = facts.errors.front().column;
            reason = facts.errors.front().reason;
        }
        std::cout << field(path) << '\t' << result << '\t' << facts.errorCode << '\t' << line
                  << '\t' << column << '\t' << field(reason) << '\n';
    }
    return 0;
}
