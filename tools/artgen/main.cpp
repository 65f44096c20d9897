// parvelle-artgen: draws the skin bitmaps into a resource folder (BMP files and
// skin.qrc) and, on request, a contact sheet PNG of all of them and the application
// icon as PNG files of an icon theme (ICON_DIR/NxN/apps/parvelle.png).
//
//   parvelle-artgen OUT_DIR [--contact-sheet FILE.png] [--icons ICON_DIR]

#include "Artwork.h"
#include "ContactSheet.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>

namespace {

bool WriteQrc(const QString& dir, const std::vector<artgen::ArtResource>& resources)
{
    QFile file(QDir(dir).filePath("skin.qrc"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QTextStream out(&file);
    out << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/skin\">\n";
    for (const auto& r : resources)
        out << "    <file>" << r.name << ".bmp</file>\n";
    out << "</qresource>\n</RCC>\n";
    return out.status() == QTextStream::Ok;
}

// Empty on success, else the file that could not be written.
QString WriteDesktopIcons(const QString& iconDir)
{
    for (const int size : artgen::kDesktopIconSizes) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(iconDir).arg(size);
        const QString path = folder + QStringLiteral("/parvelle.png");
        if (!QDir().mkpath(folder) || !artgen::DesktopIcon(size).save(path, "PNG"))
            return path;
    }
    return QString();
}

int Fail(const QString& message)
{
    std::fprintf(stderr, "parvelle-artgen: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption contactSheet(QStringLiteral("contact-sheet"), QStringLiteral("Contact sheet PNG."),
                                          QStringLiteral("FILE.png"));
    const QCommandLineOption icons(QStringLiteral("icons"), QStringLiteral("Icon theme folder for the application icon."),
                                   QStringLiteral("ICON_DIR"));
    parser.addOptions({contactSheet, icons});
    parser.addPositionalArgument(QStringLiteral("OUT_DIR"), QStringLiteral("Folder of the skin bitmaps."));
    if (!parser.parse(app.arguments()) || parser.positionalArguments().size() != 1)
        return Fail("usage: parvelle-artgen OUT_DIR [--contact-sheet FILE.png] [--icons ICON_DIR]");

    const QString outDir = parser.positionalArguments().first();
    if (!QDir().mkpath(outDir))
        return Fail("cannot create " + outDir);
    const auto resources = artgen::GenerateArtwork();
    for (const auto& r : resources) {
        const QString path = QDir(outDir).filePath(r.name + ".bmp");
        if (!r.image.save(path, "BMP"))
            return Fail("cannot write " + path);
    }
    if (!WriteQrc(outDir, resources))
        return Fail("cannot write skin.qrc in " + outDir);
    const QString sheet = parser.value(contactSheet);
    if (!sheet.isEmpty() && !artgen::ContactSheet(resources).save(sheet, "PNG"))
        return Fail("cannot write " + sheet);
    if (parser.isSet(icons)) {
        const QString failed = WriteDesktopIcons(parser.value(icons));
        if (!failed.isEmpty())
            return Fail("cannot write " + failed);
    }
    std::printf("%zu bitmaps written to %s\n", resources.size(), qPrintable(outDir));
    return 0;
}
