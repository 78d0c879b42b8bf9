// The windows' shared look: twips to pixels, the Gothic face, the icon.
#include "ui/appearance.h"

#include <QFontDatabase>

#include <cmath>

// The window icon lives in the resources of this static library, which the
// linker would drop unless something refers to them.
static void initResources() {
    Q_INIT_RESOURCE(morvik);
}

namespace morvik::ui {

int Twips::operator()(int twips) const {
    return static_cast<int>(std::lround(twips * m_dpi / 1440.0));
}

QRect Twips::rect(int left, int top, int width, int height) const {
    return {(*this)(left), (*this)(top), (*this)(width), (*this)(height)};
}

QStringList preferredGothicFamilies() {
    return {QStringLiteral("ＭＳ ゴシック"),    QStringLiteral("MS Gothic"),
            QStringLiteral("IPAGothic"),        QStringLiteral("Noto Sans Mono CJK JP"),
            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAexGothic"),
            QStringLiteral("TakaoGothic"),      QStringLiteral("VL Gothic")};
}

QString japaneseGothicFamily() {
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : preferredGothicFamilies()) {
        if (installed.contains(family, Qt::CaseInsensitive)) {
            return family;
        }
    }
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    return japanese.isEmpty() ? QString() : japanese.first();
}

QFont japaneseGothicFont() {
    QFont font;
    const QString family = japaneseGothicFamily();
    if (!family.isEmpty()) {
        font.setFamilies({family});
    }
    font.setPointSize(9);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

QIcon morvikIcon() {
    static const bool loaded = (initResources(), true);
    Q_UNUSED(loaded);
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addFile(QStringLiteral(":/icons/morvik-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace morvik::ui
