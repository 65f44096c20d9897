// Parvelle: the main window over the registry chosen on the command line.
#include "app/common/RegistryOptions.h"
#include "cache/TerminalText.h"
#include "app/window/Controls.h"
#include "app/window/ErrorHandler.h"
#include "app/window/Form1.h"
#include "app/window/MessageBox.h"
#include "core/NativePath.h"
#include "core/SafeFile.h"

#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

using namespace parvelle;

namespace {
const QString kScreenshot = QStringLiteral("screenshot");
const QString kPage = QStringLiteral("page");
const QString kSkin = QStringLiteral("skin");

int Fail(const QString& message, int status, bool quiet)
{
    const QString shown = TerminalText(message);
    std::fprintf(stderr, "parvelle: %s\n", qPrintable(shown));
    if (!quiet)
        QtMessageBox(nullptr).show(shown, AppTitle());
    return status;
}

void AddWindowOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral("Lists and cleans the ARPCache of a Windows registry."));
    parser.addHelpOption();
    parser.addVersionOption();
    AddRegistryOptions(parser);
    parser.addOption({kScreenshot, QStringLiteral("Render the window to FILE.png and exit."), QStringLiteral("FILE")});
    parser.addOption({kPage, QStringLiteral("Page shown in the screenshot (0 to 4; default 1)."), QStringLiteral("N"),
                      QStringLiteral("1")});
    parser.addOption({kSkin, QStringLiteral("Draw the window in another skin: macos, winxp (the default), deepblue, "
                                             "protein or blueglass."),
                      QStringLiteral("NAME")});
}

// The built-in style of that name; EUsageError for any other.
TsuiUIStyle StyleNamed(const QString& name)
{
    for (const BuiltInStyle& style : BuiltInStyles()) {
        if (name.compare(QLatin1String(style.name), Qt::CaseInsensitive) == 0)
            return style.style;
    }
    throw EUsageError(QStringLiteral("unknown skin \"%1\"; the skins are macos, winxp, deepblue, protein and blueglass")
                          .arg(name));
}

// What the command line asks before the window exists: the exit status after answering
// --help or --version (nullopt when neither was asked), and whether a screenshot is wanted.
// Needs no display: only a core application exists meanwhile.
struct EarlyOptions {
    std::optional<int> answered;
    bool screenshot = false;
};

EarlyOptions ReadEarlyOptions(int argc, char** argv)
{
    QCoreApplication probe(argc, argv);
    SetApplicationIdentity();
    QCoreApplication::setApplicationVersion(QStringLiteral(PARVELLE_VERSION));
    QCommandLineParser parser;
    AddWindowOptions(parser);
    if (!parser.parse(ArgumentsFromNative(argc, argv)))
        return {};   // reported by the full parse
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return {0};
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return {0};
    }
    return {std::nullopt, parser.isSet(kScreenshot)};
}

QtMessageHandler previousMessageHandler = nullptr;

// Qt aborts when it finds no display it can use: its message is told, and the program ends
// with status 1 instead of a core dump.
void ExitOnFatalMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    previousMessageHandler(type, context, message);
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "parvelle: cannot open the window; --screenshot works without a display\n");
        std::_Exit(1);
    }
}

// The application object, on the display Qt finds; a screenshot is drawn off-screen
// unless a platform is chosen.
std::unique_ptr<Application> MakeApplication(int& argc, char** argv, bool screenshot)
{
    if (screenshot && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    previousMessageHandler = qInstallMessageHandler(ExitOnFatalMessage);
    auto app = std::make_unique<Application>(argc, argv);
    qInstallMessageHandler(previousMessageHandler);
    QGuiApplication::setDesktopFileName(QStringLiteral("parvelle"));   // the desktop entry's icon
    return app;
}

// Renders the whole window (frame and title bar included) with the page shown and writes
// it to a PNG file.
int SaveScreenshot(TForm1& form, const QString& file, int page)
{
    form.findChild<TsuiPageControl*>(QStringLiteral("suiPageControl1"))->ActivatePageIndex(page);
    while (form.ReadingUndoList())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
    QFile out;
    if (!OpenFile(out, file, QIODevice::WriteOnly) || !WindowImage(form).save(&out, "PNG")) {
        std::fprintf(stderr, "parvelle: cannot write %s\n", qPrintable(TerminalText(file)));
        return 1;
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    const EarlyOptions early = ReadEarlyOptions(argc, argv);
    if (early.answered)
        return *early.answered;
    const std::unique_ptr<Application> app = MakeApplication(argc, argv, early.screenshot);
    RemoveTemporariesOnSignals();
    SetApplicationIdentity();
    QCoreApplication::setApplicationVersion(QStringLiteral(PARVELLE_VERSION));
    QCommandLineParser parser;
    AddWindowOptions(parser);
    RegistryOptions options;
    int page = 1;
    std::optional<TsuiUIStyle> style;
    try {
        ParseCommandLine(parser, ArgumentsFromNative(argc, argv));
        if (!parser.positionalArguments().isEmpty())
            throw EUsageError(QStringLiteral("unexpected argument \"%1\"; hives are given with --software, --system, "
                                             "--ntuser or --windows").arg(parser.positionalArguments().first()));
        options = RegistryOptionsFrom(parser);
        bool pageOk = false;
        page = parser.value(kPage).toInt(&pageOk);
        if (!pageOk || page < 0 || page > 4)
            throw EUsageError(QStringLiteral("--page takes a number from 0 to 4"));
        if (parser.isSet(kSkin))
            style = StyleNamed(parser.value(kSkin));
    } catch (const EUsageError& e) {
        return Fail(e.message(), 2, true);
    }
    const bool screenshot = parser.isSet(kScreenshot);
    std::unique_ptr<Machine> machine;
    QString undoFolder;
    try {
        machine = OpenRegistry(options);
        undoFolder = UndoFolder(options);
    } catch (const std::exception& e) {
        return Fail(PathFromNative(e.what()), 1, screenshot);
    }

    TForm1 form(*machine, undoFolder);
    if (style)
        form.findChild<TsuiThemeManager*>(QStringLiteral("suiThemeManager1"))->SetUIStyle(*style);
    if (screenshot) {
        form.setAttribute(Qt::WA_DontShowOnScreen);
        form.show();
        return SaveScreenshot(form, parser.value(kScreenshot), page);
    }
    form.show();
    return app->exec();
}
