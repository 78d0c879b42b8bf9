// legacy-namespace (エラー): a root in http://tokuteikenshin.jp/checkup/2007,
// the namespace before 2024 that older producers still write under the same
// V08 file names. One finding names every such document.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class LegacyNamespaceCheck : public ArchiveCheck {
public:
    void document(const DocumentFacts& document, CheckOutput&) override {
        if (document.rootNamespace() == kLegacyNamespace) {
            m_files.push_back(document.path);
        }
    }
    void finish(const ArchiveFacts&, CheckOutput& out) override {
        if (m_files.empty()) {
            return;
        }
        // Moved, not copied: it may name every document of the archive.
        const std::size_t count = m_files.size();
        out.report({"legacy-namespace",
                    FindingLevel::error,
                    "2024年版より前の名前空間で書かれている",
                    std::move(m_files),
                    {{"名前空間", kLegacyNamespace},
                     {"2024年版の名前空間", kMinistryNamespace},
                     {"文書数", std::to_string(count)}}});
    }

private:
    std::vector<std::string> m_files;
};

} // namespace

std::unique_ptr<ArchiveCheck> makeLegacyNamespaceCheck() {
    return std::make_unique<LegacyNamespaceCheck>();
}

} // namespace morvik::inspection::checks
