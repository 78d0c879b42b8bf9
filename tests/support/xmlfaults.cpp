// Failure injection in front of a parser factory: each object it makes
// wraps the inner one and fails an operation when told to.
#include "support/xmlfaults.h"

namespace morvik::test {

using namespace morvik::platform;

namespace {

std::size_t indexOf(XmlOperation op) {
    return static_cast<std::size_t>(op);
}

class FaultyParseError : public XmlParseError {
public:
    FaultyParseError(FaultyXmlParserFactory& faults, std::unique_ptr<XmlParseError> inner)
        : m_faults(faults), m_inner(std::move(inner)) {}

    std::optional<std::int32_t> errorCode() override {
        return m_faults.shouldFail(XmlOperation::errorCode) ? std::nullopt : m_inner->errorCode();
    }
    std::optional<std::int32_t> line() override {
        return m_faults.shouldFail(XmlOperation::line) ? std::nullopt : m_inner->line();
    }
    std::optional<std::string> srcText() override {
        return m_faults.shouldFail(XmlOperation::srcText) ? std::nullopt : m_inner->srcText();
    }
    std::optional<std::string> reason() override {
        return m_faults.shouldFail(XmlOperation::reason) ? std::nullopt : m_inner->reason();
    }
    // Not one of the operations a caller relies on: passed through.
    std::optional<std::int32_t> column() override { return m_inner->column(); }
    std::optional<XmlErrorFacts> reasonFacts() override { return m_inner->reasonFacts(); }
    std::vector<XmlErrorRecord> errors() override { return m_inner->errors(); }
    bool errorsCapped() override { return m_inner->errorsCapped(); }

private:
    FaultyXmlParserFactory& m_faults;
    std::unique_ptr<XmlParseError> m_inner;
};

class FaultySchemaCollection : public XmlSchemaCollection {
public:
    FaultySchemaCollection(FaultyXmlParserFactory& faults,
                           std::unique_ptr<XmlSchemaCollection> inner)
        : m_faults(faults), m_inner(std::move(inner)) {}

    bool add(const std::string& namespaceUri, const std::string& path) override {
        return !m_faults.shouldFail(XmlOperation::add) && m_inner->add(namespaceUri, path);
    }

    XmlSchemaCollection& inner() { return *m_inner; }

private:
    FaultyXmlParserFactory& m_faults;
    std::unique_ptr<XmlSchemaCollection> m_inner;
};

class FaultyDocument : public XmlDocument {
public:
    FaultyDocument(FaultyXmlParserFactory& faults, std::unique_ptr<XmlDocument> inner)
        : m_faults(faults), m_inner(std::move(inner)) {}

    bool setAsync(bool async) override {
        return !m_faults.shouldFail(XmlOperation::setAsync) && m_inner->setAsync(async);
    }
    bool setSchemas(XmlSchemaCollection& schemas) override {
        if (m_faults.shouldFail(XmlOperation::setSchemas)) {
            return false;
        }
        // A collection made by this factory stands in front of the real one.
        auto* faulty = dynamic_cast<FaultySchemaCollection*>(&schemas);
        return m_inner->setSchemas(faulty != nullptr ? faulty->inner() : schemas);
    }
    bool load(const std::string& path) override {
        return !m_faults.shouldFail(XmlOperation::load) && m_inner->load(path);
    }
    bool setErrorLimit(std::size_t limit) override { return m_inner->setErrorLimit(limit); }
    std::unique_ptr<XmlParseError> parseError() override {
        if (m_faults.shouldFail(XmlOperation::parseError)) {
            return nullptr;
        }
        auto inner = m_inner->parseError();
        if (!inner) {
            return nullptr;
        }
        return std::make_unique<FaultyParseError>(m_faults, std::move(inner));
    }

private:
    FaultyXmlParserFactory& m_faults;
    std::unique_ptr<XmlDocument> m_inner;
};

} // namespace

FaultyXmlParserFactory::FaultyXmlParserFactory(XmlParserFactory& inner) : m_inner(inner) {}

void FaultyXmlParserFactory::failAlways(XmlOperation op) {
    m_failures[indexOf(op)] = kAlways;
}

void FaultyXmlParserFactory::failNext(XmlOperation op, int times) {
    m_failures[indexOf(op)] = times;
}

void FaultyXmlParserFactory::failEverything() {
    for (std::atomic<int>& failures : m_failures) {
        failures = kAlways;
    }
}

int FaultyXmlParserFactory::calls(XmlOperation op) const {
    return m_calls[indexOf(op)];
}

bool FaultyXmlParserFactory::shouldFail(XmlOperation op) {
    ++m_calls[indexOf(op)];
    std::atomic<int>& failures = m_failures[indexOf(op)];
    int left = failures.load();
    while (left != kAlways && left > 0) {
        if (failures.compare_exchange_weak(left, left - 1)) {
            return true;
        }
    }
    return left == kAlways;
}

std::unique_ptr<XmlDocument> FaultyXmlParserFactory::createDocument() {
    if (shouldFail(XmlOperation::createDocument)) {
        return nullptr;
    }
    auto inner = m_inner.createDocument();
    if (!inner) {
        return nullptr;
    }
    return std::make_unique<FaultyDocument>(*this, std::move(inner));
}

std::unique_ptr<XmlSchemaCollection> FaultyXmlParserFactory::createSchemaCollection() {
    if (shouldFail(XmlOperation::createSchemaCollection)) {
        return nullptr;
    }
    auto inner = m_inner.createSchemaCollection();
    if (!inner) {
        return nullptr;
    }
    return std::make_unique<FaultySchemaCollection>(*this, std::move(inner));
}

} // namespace morvik::test
