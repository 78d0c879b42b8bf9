// A parser factory that puts failures in front of another one: the way to
// see what a caller does when the parser is not installed, or when any one
// operation of it fails. It also counts the calls of each operation. It may
// be used from several threads at once.
#pragma once

#include "platform/xml/xmlparser.h"

#include <array>
#include <atomic>
#include <cstddef>

namespace morvik::test {

enum class XmlOperation {
    createDocument,
    createSchemaCollection,
    setAsync,
    setSchemas,
    add,
    load,
    parseError,
    errorCode,
    line,
    srcText,
    reason,
};
inline constexpr std::size_t kXmlOperationCount = 11;

class FaultyXmlParserFactory : public platform::XmlParserFactory {
public:
    // inner must outlive this factory and every object made through it.
    explicit FaultyXmlParserFactory(platform::XmlParserFactory& inner);

    // Every later call of op fails.
    void failAlways(XmlOperation op);
    // The next `times` calls of op fail, later ones go through.
    void failNext(XmlOperation op, int times);
    // Every operation fails: the parser is not installed.
    void failEverything();
    // How many times op has been called (failed calls included).
    int calls(XmlOperation op) const;

    std::unique_ptr<platform::XmlDocument> createDocument() override;
    std::unique_ptr<platform::XmlSchemaCollection> createSchemaCollection() override;

    // Counts the call and says whether it is to fail.
    bool shouldFail(XmlOperation op);

private:
    static constexpr int kAlways = -1;
    platform::XmlParserFactory& m_inner;
    std::array<std::atomic<int>, kXmlOperationCount> m_failures{};
    std::array<std::atomic<int>, kXmlOperationCount> m_calls{};
};

} // namespace morvik::test
