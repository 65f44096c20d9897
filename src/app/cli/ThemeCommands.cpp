// parvelle-cli theme-pack / theme-unpack: theme files from and to folders of BMP files.
#include "CliCommands.h"
#include "app/common/RegistryOptions.h"
#include "theme/ThemePack.h"

#include <optional>

namespace parvelle {

namespace {

struct Argument {
    QString name;
    QString description;
};

// The two positional arguments of a theme command (none when help was printed);
// EUsageError when there are others.
std::optional<std::pair<QString, QString>> TwoArguments(CliContext& context, const QString& description,
                                                        const Argument& first, const Argument& second)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(first.name, first.description);
    parser.addPositionalArgument(second.name, second.description);
    if (ParseCliArguments(parser, context, description))
        return std::nullopt;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < 2)
        throw EUsageError(QStringLiteral("missing %1").arg(positional.isEmpty() ? first.name : second.name));
    if (positional.size() > 2)
        throw EUsageError(QStringLiteral("unexpected argument '%1'").arg(positional.at(2)));
    return std::pair{positional.at(0), positional.at(1)};
}

QString CountsText(const ThemePackCounts& counts)
{
    return QStringLiteral("%1 images, %2 integers, %3 booleans, %4 texts")
        .arg(counts.images).arg(counts.integers).arg(counts.booleans).arg(counts.texts);
}

int RunThemePack(CliContext& context)
{
    const auto arguments = TwoArguments(
        context, QStringLiteral("Builds a theme file from a folder of <Entry>.bmp files and values.txt."),
        {QStringLiteral("DIR"), QStringLiteral("Folder of <Entry>.bmp files and values.txt.")},
        {QStringLiteral("OUT"), QStringLiteral("Theme file to write.")});
    if (!arguments)
        return 0;
    const auto& [folder, outFile] = *arguments;
    const ThemePackResult result = PackThemeFolder(folder, outFile);
    for (const QString& skipped : result.skipped)
        WriteMessage(context, QStringLiteral("Warning: skipped %1").arg(skipped));
    WriteLine(context, QStringLiteral("Packed %1 into %2").arg(CountsText(result.counts), outFile));
    return 0;
}

int RunThemeUnpack(CliContext& context)
{
    const auto arguments = TwoArguments(
        context, QStringLiteral("Writes the entries of a theme file into an empty or new folder."),
        {QStringLiteral("FILE"), QStringLiteral("Theme file to read.")},
        {QStringLiteral("DIR"), QStringLiteral("Empty or new folder to write into.")});
    if (!arguments)
        return 0;
    const auto& [themeFile, folder] = *arguments;
    const ThemeUnpackResult result = UnpackThemeFile(themeFile, folder);
    if (!result.damageNote.isEmpty())
        WriteMessage(context, QStringLiteral("Warning: the theme file is damaged (%1); the entries before the damage were unpacked")
                                  .arg(result.damageNote));
    WriteLine(context, QStringLiteral("Unpacked %1 into %2").arg(CountsText(result.counts), folder));
    return 0;
}

const CliCommandRegistration kThemePack{{QStringLiteral("theme-pack"), QStringLiteral("theme-pack DIR OUT"),
                                         QStringLiteral("Build the theme file OUT from the BMP files and values.txt in DIR."),
                                         RunThemePack}};
const CliCommandRegistration kThemeUnpack{{QStringLiteral("theme-unpack"), QStringLiteral("theme-unpack FILE DIR"),
                                           QStringLiteral("Write the images and values of the theme file FILE into DIR."),
                                           RunThemeUnpack}};

} // namespace

} // namespace parvelle
