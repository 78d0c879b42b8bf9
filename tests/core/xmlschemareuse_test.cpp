// Reuse of compiled schemas: a schema is compiled again exactly when one of
// the files it was compiled from changed, and every validation comes out as
// it does with a fresh compile.
#include "inspection/xmlschemachk.h"
#include "platform/xml/xmlparser.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>

using namespace morvik::platform;
using morvik::test::RecordingStatusLine;
using morvik::test::TempDir;
using morvik::test::writeFile;
namespace fs = std::filesystem;

namespace {

std::string mainSchema(const std::string& numberType) {
    return R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
    targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:include schemaLocation="inc/types.xsd"/>
  <xs:element name="doc"><xs:complexType><xs:sequence>
    <xs:element name="mark" type="Mark" minOccurs="0"/>
    <xs:element name="n" type=")" +
           numberType + R"(" minOccurs="0"/>
  </xs:sequence></xs:complexType></xs:element>
</xs:schema>)";
}

std::string typesSchema(const std::string& enumerations) {
    return R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
    targetNamespace="urn:hl7-org:v3">
  <xs:simpleType name="Mark"><xs:restriction base="xs:string">)" +
           enumerations + R"(</xs:restriction></xs:simpleType>
</xs:schema>)";
}

std::string enumeration(const std::string& value) {
    return "<xs:enumeration value=\"" + value + "\"/>";
}

std::string document(const std::string& body) {
    return "<doc xmlns=\"urn:hl7-org:v3\">\n" + body + "</doc>\n";
}

// Switches reuse off while it lives.
class NoReuse {
public:
    NoReuse() { ::setenv(kNoSchemaCacheVariable, "1", 1); }
    ~NoReuse() { ::unsetenv(kNoSchemaCacheVariable); }
};

struct Check {
    int status = 0;
    std::string message;
    std::string detail;
    bool operator==(const Check&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Check& c) {
    return out << c.status << " " << c.message << " " << c.detail;
}

Check validate(const fs::path& folder, const std::string& documentName) {
    Check check;
    RecordingStatusLine status;
    const std::string dir = folder.string() + "/";
    check.status = morvik::inspection::XmlSchemaChk(dir, documentName, dir, "main.xsd",
                                                    check.message, check.detail, status);
    return check;
}

Check freshValidate(const fs::path& folder, const std::string& documentName) {
    NoReuse off;
    return validate(folder, documentName);
}

void setModified(const fs::path& path, fs::file_time_type when) {
    fs::last_write_time(path, when);
}

} // namespace

TEST(XmlSchemaReuse, UnchangedSchemaIsCompiledOnce) {
    TempDir dir;
    writeFile(dir.path() / "main.xsd", mainSchema("xs:integer"));
    writeFile(dir.path() / "inc" / "types.xsd", typesSchema(enumeration("健診")));
    writeFile(dir.path() / "ok.xml", document("<mark>健診</mark><n>1</n>"));
    writeFile(dir.path() / "bad.xml", document("<n>1.5</n>"));

    const std::uint64_t before = schemaCompilations();
    const Check ok = validate(dir.path(), "ok.xml");
    const Check bad = validate(dir.path(), "bad.xml");
    validate(dir.path(), "ok.xml");
    EXPECT_EQ(schemaCompilations() - before, 1u);
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(bad.status, -1);
    EXPECT_EQ(ok, freshValidate(dir.path(), "ok.xml"));
    EXPECT_EQ(bad, freshValidate(dir.path(), "bad.xml"));

    // The declaration helper uses the same compiled schema.
    const std::uint64_t beforeDeclares = schemaCompilations();
    EXPECT_TRUE(
        schemaDeclaresGlobalElement((dir.path() / "main.xsd").string(), "urn:hl7-org:v3", "doc"));
    EXPECT_EQ(schemaCompilations(), beforeDeclares);
}

TEST(XmlSchemaReuse, SwitchedOffEveryAddCompiles) {
    TempDir dir;
    writeFile(dir.path() / "main.xsd", mainSchema("xs:integer"));
    writeFile(dir.path() / "inc" / "types.xsd", typesSchema(enumeration("健診")));
    writeFile(dir.path() / "ok.xml", document("<n>1</n>"));
    NoReuse off;
    const std::uint64_t before = schemaCompilations();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(validate(dir.path(), "ok.xml").status, 0);
    }
    EXPECT_EQ(schemaCompilations() - before, 3u);
}

TEST(XmlSchemaReuse, AnyChangedSourceFileRecompiles) {
    using Change = std::function<void(const fs::path& dir)>;
    // Each change turns the outcome of doc.xml (a decimal number and the
    // mark 検診) from invalid to valid or the other way round.
    const struct {
        const char* name;
        Change change;
        std::uint64_t compiles = 1; // for the two checks after the change
    } cases[] = {
        {"schema rewritten with another size",
         [](const fs::path& d) { writeFile(d / "main.xsd", mainSchema("xs:string")); }},
        {"schema rewritten, same size, later time",
         [](const fs::path& d) {
             const auto when = fs::last_write_time(d / "main.xsd");
             writeFile(d / "main.xsd", mainSchema("xs:decimal"));
             setModified(d / "main.xsd", when + std::chrono::seconds(1));
         }},
        {"schema rewritten in place, same size, time restored",
         [](const fs::path& d) {
             const auto when = fs::last_write_time(d / "main.xsd");
             writeFile(d / "main.xsd", mainSchema("xs:decimal"));
             setModified(d / "main.xsd", when);
         }},
        {"schema replaced by another file, same size and time",
         [](const fs::path& d) {
             const auto when = fs::last_write_time(d / "main.xsd");
             writeFile(d / "new.xsd", mainSchema("xs:decimal"));
             setModified(d / "new.xsd", when);
             fs::rename(d / "new.xsd", d / "main.xsd");
         }},
        {"included file rewritten with another size",
         [](const fs::path& d) {
             writeFile(d / "inc" / "types.xsd",
                       typesSchema(enumeration("健診") + enumeration("検診")));
         }},
        {"included file rewritten, same size, later time",
         [](const fs::path& d) {
             const fs::path types = d / "inc" / "types.xsd";
             const auto when = fs::last_write_time(types);
             writeFile(types, typesSchema(enumeration("検診")));
             setModified(types, when + std::chrono::seconds(1));
         }},
        {"included file replaced, same size and time",
         [](const fs::path& d) {
             const fs::path types = d / "inc" / "types.xsd";
             const auto when = fs::last_write_time(types);
             writeFile(d / "inc" / "new.xsd", typesSchema(enumeration("検診")));
             setModified(d / "inc" / "new.xsd", when);
             fs::rename(d / "inc" / "new.xsd", types);
         }},
        // A schema that cannot be compiled is not kept: each check tries again.
        {"included file removed", [](const fs::path& d) { fs::remove(d / "inc" / "types.xsd"); },
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeFile(dir.path() / "main.xsd", mainSchema("xs:integer"));
        writeFile(dir.path() / "inc" / "types.xsd", typesSchema(enumeration("健診")));
        writeFile(dir.path() / "doc.xml", document("<mark>検診</mark>"));
        writeFile(dir.path() / "num.xml", document("<n>1.5</n>"));

        const Check docBefore = validate(dir.path(), "doc.xml");
        const Check numBefore = validate(dir.path(), "num.xml");
        EXPECT_EQ(docBefore.status, -1);
        EXPECT_EQ(numBefore.status, -1);

        const std::uint64_t before = schemaCompilations();
        c.change(dir.path());
        const Check docAfter = validate(dir.path(), "doc.xml");
        const Check numAfter = validate(dir.path(), "num.xml");
        EXPECT_EQ(schemaCompilations() - before, c.compiles);
        EXPECT_EQ(docAfter, freshValidate(dir.path(), "doc.xml"));
        EXPECT_EQ(numAfter, freshValidate(dir.path(), "num.xml"));
        EXPECT_NE(std::make_pair(docAfter, numAfter), std::make_pair(docBefore, numBefore));
    }
}

// A run looks at its schema files once: while a reuse scope lives, a schema
// found unchanged is not looked at again; after it, it is.
TEST(XmlSchemaReuse, FilesAreLookedAtOncePerScope) {
    TempDir dir;
    writeFile(dir.path() / "main.xsd", mainSchema("xs:integer"));
    writeFile(dir.path() / "inc" / "types.xsd", typesSchema(enumeration("健診")));
    writeFile(dir.path() / "num.xml", document("<n>1.5</n>"));
    const std::uint64_t before = schemaCompilations();
    {
        const SchemaReuseScope run;
        EXPECT_EQ(validate(dir.path(), "num.xml").status, -1);
        writeFile(dir.path() / "main.xsd", mainSchema("xs:string"));
        EXPECT_EQ(validate(dir.path(), "num.xml").status, -1);
        EXPECT_EQ(schemaCompilations() - before, 1u);
    }
    EXPECT_EQ(validate(dir.path(), "num.xml").status, 0);
    EXPECT_EQ(schemaCompilations() - before, 2u);
}

TEST(XmlSchemaReuse, KeepsOnlyAFewSchemas) {
    TempDir dir;
    const std::size_t count = kSchemaCacheCapacity + 1;
    for (std::size_t i = 0; i < count; ++i) {
        const fs::path sub = dir.path() / std::to_string(i);
        writeFile(sub / "main.xsd", mainSchema("xs:integer"));
        writeFile(sub / "inc" / "types.xsd", typesSchema(enumeration("健診")));
        writeFile(sub / "ok.xml", document("<n>1</n>"));
        EXPECT_EQ(validate(sub, "ok.xml").status, 0);
    }
    // The most recent one is still there; the first one has gone.
    std::uint64_t before = schemaCompilations();
    validate(dir.path() / std::to_string(count - 1), "ok.xml");
    EXPECT_EQ(schemaCompilations(), before);
    before = schemaCompilations();
    validate(dir.path() / "0", "ok.xml");
    EXPECT_EQ(schemaCompilations() - before, 1u);
}
