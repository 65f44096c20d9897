#include "Fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace parvelle {

namespace {
// Wine's tahomabd.ttf draws regular-weight strokes at bold widths, so bold Tahoma is
// emboldened from the regular face instead.
const char* const kFontFiles[] = {
    "/usr/share/wine/fonts/tahoma.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Bold.ttf",
};
} // namespace

void RegisterWindowFonts()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    for (const char* path : kFontFiles) {
        if (QFile::exists(QString::fromLatin1(path)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(path));
    }
    const QString cjk = QStringLiteral("WenQuanYi Micro Hei");
    const QString sans = QStringLiteral("Liberation Sans");
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), {QStringLiteral("Tahoma"), sans, cjk});
    QFont::insertSubstitutions(QStringLiteral("Tahoma"), {sans, cjk});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {sans, cjk});
    QFont::insertSubstitutions(QStringLiteral("Arial Black"), {sans, cjk});
    QFont::insertSubstitutions(QStringLiteral("Arial Narrow"), {QStringLiteral("Liberation Sans Narrow"), cjk});
}

QFont DesignFont(const QString& family, int pixelHeight, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixelHeight);
    if (family == QLatin1String("Arial Black"))
        font.setWeight(QFont::Black);
    else if (bold)
        font.setBold(true);
    return font;
}

} // namespace parvelle
