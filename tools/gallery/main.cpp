// parvelle-gallery: draws every skinned control in each of its states, in each of the five
// styles, into one PNG. The controls are real widgets put into each state by real events.
//
//   parvelle-gallery FILE.png

#include "skin/Buttons.h"
#include "skin/CheckBox.h"
#include "skin/PageControl.h"
#include "skin/RotateLabel.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <cstdio>
#include <functional>
#include <memory>

using namespace parvelle;

namespace {

constexpr int kSheetWidth = 1400;
constexpr int kGap = 12;

QFont DesignFont(const QString& family, int pixelSize, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// Cells of captioned renders, laid out left to right in bands.
class Sheet {
public:
    Sheet()
        : image_(kSheetWidth, 4000, QImage::Format_RGB32)
        , painter_(&image_)
    {
        image_.fill(QColor(0xF4, 0xF4, 0xF0));
        painter_.setFont(DesignFont(QStringLiteral("Arial"), 11));
    }

    void heading(const QString& text)
    {
        newLine();
        painter_.setFont(DesignFont(QStringLiteral("Arial"), 15, true));
        painter_.setPen(Qt::black);
        painter_.drawText(kGap, y_ + 16, text);
        painter_.setFont(DesignFont(QStringLiteral("Arial"), 11));
        y_ += 24;
    }

    void place(const QPixmap& render, const QString& caption)
    {
        const int width = std::max(render.width(), painter_.fontMetrics().horizontalAdvance(caption));
        if (x_ + width > kSheetWidth - kGap)
            newLine();
        painter_.setPen(QColor(0x55, 0x55, 0x55));
        painter_.drawText(x_, y_ + 11, caption);
        painter_.drawPixmap(x_, y_ + 15, render);
        x_ += width + kGap;
        rowHeight_ = std::max(rowHeight_, render.height() + 15);
    }

    void newLine()
    {
        if (x_ > kGap)
            y_ += rowHeight_ + kGap;
        x_ = kGap;
        rowHeight_ = 0;
    }

    bool save(const QString& path)
    {
        newLine();
        painter_.end();
        return image_.copy(0, 0, kSheetWidth, y_).save(path);
    }

private:
    QImage image_;
    QPainter painter_;
    int x_ = kGap;
    int y_ = 0;
    int rowHeight_ = 0;
};

void SendEnter(QWidget& widget)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget.mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(&widget, &event);
}

void SendLeftPress(QWidget& widget)
{
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(2, 2), widget.mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

struct State {
    const char* name;
    std::function<void(QWidget&)> apply;
};

const QList<State>& ButtonStates()
{
    static const QList<State> states{
        {"normal", [](QWidget&) {}},
        {"hot", [](QWidget& w) { SendEnter(w); }},
        {"pressed", [](QWidget& w) { SendEnter(w); SendLeftPress(w); }},
        {"focused", [](QWidget& w) { w.setFocus(); }},
        {"disabled", [](QWidget& w) { w.setEnabled(false); }},
    };
    return states;
}

// A control made fresh for each state, shown on the form, rendered and thrown away.
template <typename Control>
void PlaceStates(Sheet& sheet, QWidget& form, const QList<State>& states, const QString& what,
                 const std::function<void(Control&)>& setUp)
{
    for (const State& state : states) {
        auto control = std::make_unique<Control>(&form);
        setUp(*control);
        control->show();
        state.apply(*control);
        sheet.place(control->grab(), what + QLatin1Char(' ') + QLatin1String(state.name));
    }
}

QImage Slice(TsuiUIStyle style, int item, int index, int count)
{
    QImage slice;
    LoadBuiltInThemeBitmap(style, item, slice, index, count);
    return slice;
}

void PlaceButtons(Sheet& sheet, QWidget& form, TsuiUIStyle style)
{
    PlaceStates<TsuiButton>(sheet, form, ButtonStates(), QStringLiteral("button"), [style](TsuiButton& b) {
        b.SetUIStyle(style);
        b.SetCaption(QStringLiteral("&Remove"));
        b.setFont(DesignFont(QStringLiteral("Arial"), 11));
    });
    PlaceStates<TsuiButton>(sheet, form, ButtonStates(), QStringLiteral("glyph"), [style](TsuiButton& b) {
        b.SetUIStyle(style);
        b.SetCaption(QStringLiteral("&Undo"));
        b.setFont(DesignFont(QStringLiteral("Arial"), 11));
        b.SetGlyph(Slice(style, ThemeItem::CheckBoxImage, 1, 4));
    });
    PlaceStates<TsuiImageButton>(sheet, form, ButtonStates(), QStringLiteral("image"),
                                 [style](TsuiImageButton& b) {
                                     b.SetPicNormal(Slice(style, ThemeItem::ScrollButtonImage, 1, 4));
                                     b.SetPicMouseOn(Slice(style, ThemeItem::ScrollButtonImage, 2, 4));
                                     b.SetPicMouseDown(Slice(style, ThemeItem::ScrollButtonImage, 4, 4));
                                     b.SetDrawFocused(true);
                                     b.SetAutoSize(true);
                                 });
}

void PlaceCheckBoxes(Sheet& sheet, QWidget& form, TsuiUIStyle style)
{
    const QList<State> states{
        {"unchecked", [](QWidget&) {}},
        {"checked", [](QWidget& w) { static_cast<TsuiCheckBox&>(w).SetChecked(true); }},
        {"focused", [](QWidget& w) { w.setFocus(); }},
        {"grayed", [](QWidget& w) { static_cast<TsuiCheckBox&>(w).SetState(cbGrayed); }},
        {"disabled", [](QWidget& w) { w.setEnabled(false); }},
        {"disabled checked",
         [](QWidget& w) {
             static_cast<TsuiCheckBox&>(w).SetChecked(true);
             w.setEnabled(false);
         }},
    };
    PlaceStates<TsuiCheckBox>(sheet, form, states, QStringLiteral("check box"), [style](TsuiCheckBox& box) {
        box.SetUIStyle(style);
        box.setFont(DesignFont(QStringLiteral("Arial"), 11));
        box.SetCaption(QStringLiteral("Check &All"));
    });
}

void PlacePageControl(Sheet& sheet, QWidget& form, TsuiUIStyle style, int width, const QStringList& captions,
                      int active, const QString& caption)
{
    TsuiPageControl control(&form);
    control.SetUIStyle(style);
    control.setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    control.setGeometry(0, 0, width, 70);
    QList<TsuiTabSheet*> pages;
    for (const QString& text : captions) {
        auto* page = new TsuiTabSheet(&control);
        page->SetCaption(text);
        pages.append(page);
    }
    control.SetActivePage(pages.value(active));
    control.show();
    sheet.place(control.grab(), caption);
}

void PlaceStyle(Sheet& sheet, QWidget& form, TsuiUIStyle style, const QString& name)
{
    sheet.heading(name);
    PlaceButtons(sheet, form, style);
    sheet.newLine();
    PlaceCheckBoxes(sheet, form, style);
    const QStringList pages{QStringLiteral("About"), QStringLiteral("ARPCache List"), QStringLiteral("Undo")};
    PlacePageControl(sheet, form, style, 300, pages, 1, QStringLiteral("page control"));
    PlacePageControl(sheet, form, style, 190, pages + pages, 0, QStringLiteral("tabs overflowing"));
}

void PlaceRotatedLabels(Sheet& sheet, QWidget& form)
{
    sheet.heading(QStringLiteral("Rotated label (any style)"));
    struct Label {
        const char* name;
        int escapement;
        TTextStyle style;
        TAlignment alignment;
        bool enabled;
        QSize size;
    };
    const Label labels[] = {
        {"0 recessed, wrapped", 0, tsRecessed, taCenter, true, QSize(170, 100)},
        {"45 raised", 45, tsRaised, taLeftJustify, true, QSize(110, 90)},
        {"270 raised, centred", 270, tsRaised, taCenter, true, QSize(40, 130)},
        {"350 raised", 350, tsRaised, taLeftJustify, true, QSize(150, 50)},
        {"0 none", 0, tsNone, taLeftJustify, true, QSize(130, 40)},
        {"0 disabled", 0, tsRaised, taLeftJustify, false, QSize(130, 40)},
    };
    for (const Label& wanted : labels) {
        TRotateLabel label(&form);
        label.SetAutoSize(false);
        label.resize(wanted.size);
        label.setFont(DesignFont(QStringLiteral("Arial"), 20, true));
        label.SetCaption(wanted.escapement == 0 && wanted.alignment == taCenter ? QStringLiteral("Written by Skilled Programmers")
                                                                           : QStringLiteral("Award"));
        label.SetWordWrap(true);
        label.SetEscapement(wanted.escapement);
        label.SetTextStyle(wanted.style);
        label.SetAlignment(wanted.alignment);
        label.SetColor(0xE8E8E8);
        label.setEnabled(wanted.enabled);
        label.show();
        sheet.place(label.grab(), QString::fromLatin1(wanted.name));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: parvelle-gallery FILE.png\n");
        return 2;
    }
    QWidget form;
    form.resize(400, 300);
    form.show();
    QApplication::setActiveWindow(&form);
    (void)QTest::qWaitForWindowActive(&form);

    Sheet sheet;
    const std::pair<TsuiUIStyle, const char*> styles[] = {
        {MacOS, "MacOS"}, {WinXP, "WinXP"}, {DeepBlue, "DeepBlue"}, {Protein, "Protein"}, {BlueGlass, "BlueGlass"}};
    for (const auto& [style, name] : styles)
        PlaceStyle(sheet, form, style, QString::fromLatin1(name));
    PlaceRotatedLabels(sheet, form);
    if (!sheet.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "parvelle-gallery: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
