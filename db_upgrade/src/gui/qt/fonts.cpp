#include "fonts.h"

#include <QFontDatabase>
#include <QStringList>

#include "gui/layout_units.h"

namespace tessary::gui {
namespace {

const QString kNotoSerifCjk = QStringLiteral("Noto Serif CJK SC");

// The face's names as Chinese and English Windows list them.
QStringList names_of(Face face) {
    if (face == Face::kSong) return {QStringLiteral("宋体"), QStringLiteral("SimSun")};
    return {QStringLiteral("隶书"), QStringLiteral("LiSu")};
}

}  // namespace

QString family_for(Face face) {
    for (const QString& name : names_of(face)) {
        if (QFontDatabase::hasFamily(name)) return name;
    }
    return kNotoSerifCjk;
}

QFont window_font(const FontLook& look) {
    const QString family = family_for(look.face);
    QFont font(family);
    font.setPixelSize(font_pixels(look.points));
    const bool bold_fallback = look.face == Face::kClerical && family == kNotoSerifCjk;
    font.setBold(look.bold || bold_fallback);
    font.setUnderline(look.underline);
    return font;
}

}  // namespace tessary::gui
