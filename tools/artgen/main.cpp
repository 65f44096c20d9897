// parvelle-artgen: draws the skin bitmaps into a resource folder (BMP files and
// skin.qrc) and, on request, a contact sheet PNG of all of them.
//
//   parvelle-artgen OUT_DIR [--contact-sheet FILE.png]

#include "Artwork.h"
#include "ContactSheet.h"

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
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.size() == 2 || (args.size() == 3 && args[1] != "--contact-sheet") || args.size() > 3)
        return Fail("usage: parvelle-artgen OUT_DIR [--contact-sheet FILE.png]");

    const QString outDir = args[0];
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
    if (args.size() == 3 && !artgen::ContactSheet(resources).save(args[2], "PNG"))
        return Fail("cannot write " + args[2]);
    std::printf("%zu bitmaps written to %s\n", resources.size(), qPrintable(outDir));
    return 0;
}
