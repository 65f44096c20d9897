// Paint cost of the skinned controls: build/bin/parvelle-bench-skin
//
// A push button draws its face from a face stretched once per state and size; the
// comparison draws the nine-piece skin on every paint instead.
#include "skin/Buttons.h"
#include "skin/PageControl.h"

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>

using namespace parvelle;

namespace {

QApplication& Application()
{
    static int argc = 1;
    static char name[] = "parvelle-bench-skin";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

void BM_ButtonHoverRepaint(benchmark::State& state)
{
    Application();
    QWidget form;
    TsuiButton button(&form);
    button.SetUIStyle(WinXP);
    button.SetCaption(QStringLiteral("&Remove Item"));
    QImage target(button.size(), QImage::Format_ARGB32_Premultiplied);
    bool over = false;
    for (auto _ : state) {
        over = !over;
        QEvent event(over ? QEvent::Enter : QEvent::Leave);
        QApplication::sendEvent(&button, &event);
        button.render(&target);
    }
}
BENCHMARK(BM_ButtonHoverRepaint);

QImage WinXPFace()
{
    QImage face;
    LoadBuiltInThemeBitmap(WinXP, ThemeItem::ButtonImage, face, 1, 3);
    return face;
}

void BM_FaceStretchedOnce(benchmark::State& state)
{
    const QImage face = StretchedFace(WinXPFace(), QSize(80, 27), false);
    QImage target(80, 27, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&target);
        painter.drawImage(0, 0, face);
    }
}
BENCHMARK(BM_FaceStretchedOnce);

void BM_FaceStretchedEachPaint(benchmark::State& state)
{
    const QImage face = WinXPFace();
    QImage target(80, 27, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&target);
        DrawStretchedSkin(face, painter, QRect(0, 0, 80, 27), false);
    }
}
BENCHMARK(BM_FaceStretchedEachPaint);

void BM_TabStripRepaint(benchmark::State& state)
{
    Application();
    QWidget form;
    TsuiPageControl control(&form);
    control.SetUIStyle(WinXP);
    control.setGeometry(0, 0, 679, 390);
    for (const char* caption : {"About Parvelle", "ARPCache List", "Other Programs", "Help", "Undo"})
        (new TsuiTabSheet(&control))->SetCaption(QString::fromLatin1(caption));
    form.show();
    TsuiTabControlTopPanel* strip = control.TopPanel();
    QImage target(strip->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        strip->render(&target);
}
BENCHMARK(BM_TabStripRepaint);

} // namespace

BENCHMARK_MAIN();
