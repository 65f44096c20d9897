// Demo forms of the skinned frame.
//   parvelle-framedemo --screenshots DIR   one PNG per style (and an inactive WinXP form)
//   parvelle-framedemo [STYLE]             shows a demo form; reports on standard output
//                                          its geometry and cursor on request and where
//                                          its system menu and File menu open (used by
//                                          tools/check-frame-x11.sh and -wayland.sh)
#include "app/window/Fonts.h"
#include "skin/FormFrame.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <cstdio>
#include <unistd.h>

using namespace parvelle;

namespace {

// A form with a skinned frame, a menu bar and a panel telling the style.
std::unique_ptr<QWidget> MakeDemoForm(const BuiltInStyle& style)
{
    auto form = std::make_unique<QWidget>();
    form->setWindowTitle(QStringLiteral("Parvelle - skinned frame (%1)").arg(QLatin1String(style.name)));
    form->setGeometry(60, 60, 460, 260);
    auto* frame = new TsuiForm(form.get());
    frame->SetUIStyle(style.style);
    frame->SetTitleBarDrawAppIcon(true);
    auto* menu = new TsuiMainMenu(form.get());
    QMenu* file = menu->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Open..."))->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"), form.get(), &QWidget::close);
    menu->addMenu(QStringLiteral("&View"))->addAction(QStringLiteral("&Refresh"));
    menu->addMenu(QStringLiteral("&Help"))->addAction(QStringLiteral("&About"));
    menu->SetUIStyle(style.style);
    auto* panel = new QLabel(QStringLiteral("Drag the title bar to move the window, its edges to resize it.\n"
                                            "Double-click the title bar to maximise; Alt+Space opens the system menu."),
                             frame);
    panel->setAlignment(Qt::AlignCenter);
    panel->setWordWrap(true);
    frame->SetFormPanel(panel);
    return form;
}

int WriteScreenshots(const QString& folder)
{
    QDir().mkpath(folder);
    auto save = [&folder](QWidget& form, const QString& name) {
        const QString path = QDir(folder).filePath(name);
        if (!WindowImage(form).save(path)) {
            std::fprintf(stderr, "parvelle-framedemo: cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    };
    for (const BuiltInStyle& style : BuiltInStyles()) {
        std::unique_ptr<QWidget> form = MakeDemoForm(style);
        if (!save(*form, QStringLiteral("frame-%1.png").arg(QLatin1String(style.name))))
            return 1;
    }
    std::unique_ptr<QWidget> inactive = MakeDemoForm(BuiltInStyles()[1]);
    inactive->findChild<TsuiForm*>()->TitleBar()->SetFormActive(false);
    return save(*inactive, QStringLiteral("frame-winxp-inactive.png")) ? 0 : 1;
}

// Prints "NAME X Y" where Menu opens.
void ReportOpening(QMenu* menu, const char* name)
{
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, name] {
        QTimer::singleShot(0, menu, [menu, name] {   // placed once shown
            std::printf("%s %d %d\n", name, menu->x(), menu->y());
            std::fflush(stdout);
        });
    });
}

// Shows the form; a line "geometry" on standard input prints its geometry and cursor shape.
int ShowDemo(const BuiltInStyle& style)
{
    std::unique_ptr<QWidget> form = MakeDemoForm(style);
    const TsuiForm* frame = form->findChild<TsuiForm*>();
    ReportOpening(frame->TitleBar()->SystemMenu(), "system menu");
    ReportOpening(frame->Menu()->actions().constFirst()->menu(), "File menu");
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&form, &input] {
        char line[64];
        if (!std::fgets(line, sizeof line, stdin)) {
            input.setEnabled(false);
            return;
        }
        const QRect g = form->geometry();
        const QRect work = FormWorkArea(form.get());
        std::printf("geometry %d %d %d %d maximized %d workarea %d %d %d %d cursor %d\n", g.x(), g.y(), g.width(),
                    g.height(), int(form->isMaximized()), work.x(), work.y(), work.width(), work.height(),
                    int(form->windowHandle()->cursor().shape()));
        std::fflush(stdout);
    });
    form->show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    RegisterWindowFonts();
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--screenshots"))
        return WriteScreenshots(args[1]);
    if (args.size() > 1) {
        std::fprintf(stderr, "usage: parvelle-framedemo --screenshots DIR | parvelle-framedemo [STYLE]\n");
        return 2;
    }
    for (const BuiltInStyle& style : BuiltInStyles()) {
        if (args.isEmpty() ? style.style == WinXP : args[0] == QLatin1String(style.name))
            return ShowDemo(style);
    }
    std::fprintf(stderr, "parvelle-framedemo: unknown style %s\n", qPrintable(args[0]));
    return 2;
}
