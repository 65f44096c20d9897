#include "SkinDraw.h"

#include "ThemeCatalogue.h"
#include "ThemeFile.h"

#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMetaProperty>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace parvelle {

namespace {

// Windows COLOR_* index -> palette colour standing in for it.
QColor SystemPaletteColor(int index)
{
    const QPalette palette = QGuiApplication::palette();
    switch (index) {
    case 0: return palette.color(QPalette::Button);                       // scroll bar
    case 1: return palette.color(QPalette::Dark);                         // desktop
    case 2: case 27: case 29: return palette.color(QPalette::Highlight);  // captions, menu hilight
    case 3: case 12: case 28: return palette.color(QPalette::Mid);
    case 4: case 30: return palette.color(QPalette::Window);              // menu, menu bar
    case 5: return palette.color(QPalette::Base);
    case 6: case 21: return palette.color(QPalette::Shadow);
    case 7: return palette.color(QPalette::WindowText);
    case 8: return palette.color(QPalette::Text);
    case 9: case 14: return palette.color(QPalette::HighlightedText);
    case 10: case 11: case 15: return palette.color(QPalette::Button);
    case 13: return palette.color(QPalette::Highlight);
    case 16: return palette.color(QPalette::Dark);
    case 17: return palette.color(QPalette::Disabled, QPalette::Text);
    case 18: return palette.color(QPalette::ButtonText);
    case 19: return palette.color(QPalette::Disabled, QPalette::WindowText);
    case 20: return palette.color(QPalette::Light);
    case 22: return palette.color(QPalette::Midlight);
    case 23: return palette.color(QPalette::ToolTipText);
    case 24: return palette.color(QPalette::ToolTipBase);
    case 26: return palette.color(QPalette::Link);
    default: return palette.color(QPalette::Window);
    }
}

// A corner's source cut to (cw x ch), keeping the sides named by keepRight/keepBottom.
QRect CornerSource(const QImage& bitmap, int cw, int ch, bool keepRight, bool keepBottom)
{
    const int x = keepRight ? bitmap.width() - cw : 0;
    const int y = keepBottom ? bitmap.height() - ch : 0;
    return QRect(x, y, cw, ch);
}

void DrawCorner(QPainter& canvas, const QImage& bitmap, const QRect& source, const QPoint& at,
                bool transparent)
{
    if (source.isEmpty())
        return;
    const QImage piece = bitmap.copy(source);
    canvas.drawImage(at, transparent ? MaskedWithColor(piece, clSkinTransparent) : piece);
}

enum class KeepSide { Left, Right, Top, Bottom, None };

// An edge or the middle: the source cut to the destination's width or height on the kept
// side, stretched over the destination, magenta transparent.
void DrawStretchedPiece(QPainter& canvas, const QImage& bitmap, QRect source, const QRect& dest,
                        KeepSide keep)
{
    if (dest.width() <= 0 || dest.height() <= 0)
        return;
    switch (keep) {
    case KeepSide::Left: source.setWidth(std::min(source.width(), dest.width())); break;
    case KeepSide::Right:
        source.setLeft(RightOf(source) - std::min(source.width(), dest.width()));
        break;
    case KeepSide::Top: source.setHeight(std::min(source.height(), dest.height())); break;
    case KeepSide::Bottom:
        source.setTop(BottomOf(source) - std::min(source.height(), dest.height()));
        break;
    case KeepSide::None: break;
    }
    source &= bitmap.rect();
    if (source.isEmpty())
        return;
    const QImage piece = MaskedWithColor(bitmap.copy(source), clSkinTransparent);
    canvas.drawImage(dest, piece);
}

int FindPropertyIndex(const QObject* component, const QString& name)
{
    if (!component)
        return -1;
    const QMetaObject* meta = component->metaObject();
    for (int i = meta->propertyCount() - 1; i >= 0; --i) {   // a class's own after its bases'
        if (QString::fromLatin1(meta->property(i).name()).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QPointer<QWidget>& MainForm()
{
    static QPointer<QWidget> form;
    return form;
}

} // namespace

TColor ColorToRGB(TColor color)
{
    if (IsSystemColor(color))
        return ToTColor(SystemPaletteColor(int(color & 0xFF)));
    return color & 0xFFFFFF;
}

QColor ToQColor(TColor color)
{
    const TColor rgb = ColorToRGB(color);
    return QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF));
}

TColor ToTColor(const QColor& color)
{
    return TColor(color.red()) | (TColor(color.green()) << 8) | (TColor(color.blue()) << 16);
}

TColor ToTColor(QRgb rgb)
{
    return TColor(qRed(rgb)) | (TColor(qGreen(rgb)) << 8) | (TColor(qBlue(rgb)) << 16);
}

QImage MaskedWithColor(const QImage& image, TColor transparentColor)
{
    QImage masked = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = ToQColor(transparentColor).rgb() & 0xFFFFFF;
    for (int y = 0; y < masked.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
        for (int x = 0; x < masked.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == key)
                line[x] = 0;
        }
    }
    return masked;
}

QImage AutoTransparent(const QImage& image)
{
    if (image.isNull() || image.hasAlphaChannel())
        return image;
    return MaskedWithColor(image, ToTColor(image.pixel(0, image.height() - 1)));
}

void DrawGreyedImage(QPainter& canvas, const QPoint& point, const QImage& image)
{
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    auto inked = [&source](TColor color) {
        QImage ink(source.size(), QImage::Format_ARGB32);
        ink.fill(Qt::transparent);
        const QRgb rgb = ToQColor(color).rgb();
        for (int y = 0; y < source.height(); ++y) {
            for (int x = 0; x < source.width(); ++x) {
                const QRgb pixel = source.pixel(x, y);
                if (qAlpha(pixel) >= 128 && (pixel & 0xFFFFFF) != 0xFFFFFF)
                    ink.setPixel(x, y, rgb);
            }
        }
        return ink;
    };
    canvas.drawImage(point + QPoint(1, 1), inked(clBtnHighlight));
    canvas.drawImage(point, inked(clBtnShadow));
}

QPixmap OffscreenBuffer(const QWidget* widget)
{
    // The device pixels from the widget's left (top) edge in its window to its right
    // (bottom) edge, each rounded as the window places it: at a fractional scale widgets
    // side by side then meet without a pixel drawn twice, and a border is as wide on the
    // right as on the left.
    const qreal ratio = widget->devicePixelRatioF();
    const QPointF origin = widget->mapTo(widget->window(), QPointF(0, 0)) * ratio;
    const QPointF end = origin + QPointF(widget->width(), widget->height()) * ratio;
    QPixmap buffer(qRound(end.x()) - qRound(origin.x()), qRound(end.y()) - qRound(origin.y()));
    buffer.setDevicePixelRatio(ratio);
    return buffer;
}

void DrawStretchedSkin(const QImage& bitmap, QPainter& canvas, const QRect& rect, bool transparent)
{
    const int W = bitmap.width(), H = bitmap.height();
    const int TW = rect.width(), TH = rect.height();
    const int R = RightOf(rect), B = BottomOf(rect);
    const int hW = W / 2, hH = H / 2, hTW = TW / 2, hTH = TH / 2;
    auto fit = [](int sourceSize, int destSize) { return std::max(0, std::min(sourceSize, destSize)); };

    // Corner sizes: the smaller of the source part and the destination part.
    const int tlW = fit(hW, hTW), tlH = fit(hH, hTH);
    const int blW = fit(hW, hTW), blH = fit(hH - 1, hTH - 1);
    const int trW = fit(hW - 1, hTW - 1), trH = fit(hH, hTH);
    const int brW = fit(hW - 1, hTW - 1), brH = fit(hH - 1, hTH - 1);
    const QRect TL(0, 0, tlW, tlH);
    const QRect BL(0, B - blH, blW, blH);
    const QRect TR(R - trW, 0, trW, trH);
    const QRect BR(R - brW, B - brH, brW, brH);

    DrawCorner(canvas, bitmap, CornerSource(bitmap, tlW, tlH, false, false), TL.topLeft(), transparent);
    DrawCorner(canvas, bitmap, CornerSource(bitmap, blW, blH, false, true), BL.topLeft(), transparent);
    DrawStretchedPiece(canvas, bitmap, RectLTRB(0, hH, hW, H - hH),
                       RectLTRB(0, BottomOf(TL), RightOf(TL), BL.top()), KeepSide::Left);
    DrawCorner(canvas, bitmap, CornerSource(bitmap, trW, trH, true, false), TR.topLeft(), transparent);
    DrawCorner(canvas, bitmap, CornerSource(bitmap, brW, brH, true, true), BR.topLeft(), transparent);
    DrawStretchedPiece(canvas, bitmap, RectLTRB(W - hW + 1, H - hH, W, hH + 2),
                       RectLTRB(TR.left(), BottomOf(TR), RightOf(TR), BR.top()), KeepSide::Right);
    DrawStretchedPiece(canvas, bitmap, RectLTRB(hW, 0, W - hW + 1, hH),
                       RectLTRB(RightOf(TL), 0, TR.left(), BottomOf(TL)), KeepSide::Top);
    DrawStretchedPiece(canvas, bitmap, RectLTRB(hW, hH, W - hW + 1, H - hH),
                       RectLTRB(RightOf(TL), BottomOf(TL), TR.left(), BR.top() - 1), KeepSide::None);
    DrawStretchedPiece(canvas, bitmap, RectLTRB(hW, H - hH, W - hW + 1, H),
                       RectLTRB(RightOf(TL) - 1, BL.top() - 1, BR.left(), BottomOf(BR)),
                       KeepSide::Bottom);
}

void DrawThreeSliceBitmap(const QImage& graphic, QPainter& canvas, const QRect& rect,
                          bool maskFromCorner)
{
    const int w = graphic.width() / 3;
    const int h = graphic.height();
    if (w <= 0 || h <= 0)
        return;
    const TColor key = maskFromCorner ? ToTColor(graphic.pixel(0, 0)) : clSkinTransparent;
    const QImage masked = MaskedWithColor(graphic, key);
    canvas.drawImage(rect.topLeft(), masked, QRect(0, 0, w, h));
    canvas.drawImage(QPoint(RightOf(rect) - w, rect.top()), masked, QRect(2 * w, 0, w, h));
    const QRect middle = RectLTRB(rect.left() + w, rect.top(), RightOf(rect) - w, BottomOf(rect));
    if (middle.width() > 0 && middle.height() > 0)
        canvas.drawImage(middle, masked, QRect(w, 0, w, h));
}

void ExtractBitmapSlice(const QImage& source, QImage& dest, int count, int index)
{
    if (count < 1 || index < 1 || index > count)
        return;
    const int w = source.width() / count;
    dest = source.copy(w * (index - 1), 0, w, source.height());
}

namespace {

// Bitmap := a copy of size H x W in which old pixel (x, y) lands at target(x, y). Pixel by
// pixel, keeping the format; indexed bitmaps copy colour indexes, not colours.
template <typename Target>
void RotateInPlace(QImage& bitmap, Target target)
{
    const int W = bitmap.width(), H = bitmap.height();
    QImage rotated(H, W, bitmap.format());
    rotated.setColorTable(bitmap.colorTable());
    const bool indexed = bitmap.colorCount() > 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const QPoint to = target(x, y, W, H);
            rotated.setPixel(to, indexed ? uint(bitmap.pixelIndex(x, y)) : bitmap.pixel(x, y));
        }
    }
    bitmap = rotated;
}

} // namespace

void RotateBitmapLeft(QImage& bitmap)
{
    RotateInPlace(bitmap, [](int x, int y, int W, int) { return QPoint(y, W - 1 - x); });
}

void RotateBitmapRight(QImage& bitmap)
{
    RotateInPlace(bitmap, [](int x, int y, int, int H) { return QPoint(H - 1 - y, x); });
}

void PaintParentBackground(QPainter& canvas, const QWidget* control)
{
    QWidget* parent = control ? control->parentWidget() : nullptr;
    if (!parent)
        return;
    const QRect source = control->geometry() & parent->rect();
    if (source.isEmpty())
        return;
    canvas.save();
    parent->render(&canvas, source.topLeft() - control->pos(), QRegion(source),
                   QWidget::DrawWindowBackground);
    canvas.restore();
}

void DrawControlBorder(const QWidget* control, QPainter& canvas, TColor outerColor,
                       TColor innerColor, bool drawInner)
{
    auto frame = [&canvas](const QRect& r, TColor color) {
        if (r.width() <= 0 || r.height() <= 0)
            return;
        const QColor c = ToQColor(color);
        canvas.fillRect(QRect(r.left(), r.top(), r.width(), 1), c);
        canvas.fillRect(QRect(r.left(), BottomOf(r) - 1, r.width(), 1), c);
        canvas.fillRect(QRect(r.left(), r.top(), 1, r.height()), c);
        canvas.fillRect(QRect(RightOf(r) - 1, r.top(), 1, r.height()), c);
    };
    const QRect whole(0, 0, control->width(), control->height());
    frame(whole, outerColor);
    if (drawInner)
        frame(whole.adjusted(1, 1, -1, -1), innerColor);
}

void FrameRect(QPainter& canvas, const QRect& rect, const QColor& color)
{
    canvas.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), color);
    canvas.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), color);
    canvas.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), color);
    canvas.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), color);
}

void TileDrawPicture(QPainter& canvas, const QImage& picture, const QRect& rect)
{
    const int w = picture.width(), h = picture.height();
    if (w <= 0 || h <= 0)
        return;
    for (int x = 0; x < w + rect.width(); x += w)
        for (int y = 0; y < h + rect.height(); y += h)
            canvas.drawImage(x, y, picture);
}

bool PointInRect(const QPoint& point, const QRect& rect)
{
    return CoordsInRect(point.x(), point.y(), rect);
}

bool CoordsInRect(int x, int y, const QRect& rect)
{
    return rect.left() <= x && x <= RightOf(rect) && rect.top() <= y && y <= BottomOf(rect);
}

QRect GetDesktopWorkArea()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QRect FormWorkArea(const QWidget* form)
{
    const QScreen* screen = form ? form->screen() : nullptr;
    return screen ? screen->availableGeometry() : GetDesktopWorkArea();
}

bool CompositorPlacesWindows()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void SetControlPosition(QWidget* control, const QPoint& point)
{
    control->move(point);
}

void SetControlBoundsRect(QWidget* control, const QRect& rect)
{
    control->move(rect.topLeft());
    control->resize(rect.size());
}

QString ShortClassName(const QMetaObject* meta)
{
    const QString name = QString::fromLatin1(meta->className());
    const int colons = name.lastIndexOf(QLatin1String("::"));
    return colons < 0 ? name : name.mid(colons + 2);
}

bool InheritsClass(const QObject* component, const QString& shortName)
{
    for (const QMetaObject* meta = component ? component->metaObject() : nullptr; meta;
         meta = meta->superClass()) {
        if (ShortClassName(meta) == shortName)
            return true;
    }
    return false;
}

bool HasPublishedProperty(const QObject* component, const QString& name)
{
    return FindPropertyIndex(component, name) >= 0;
}

QVariant GetPublishedProperty(const QObject* component, const QString& name)
{
    const int index = FindPropertyIndex(component, name);
    return index < 0 ? QVariant() : component->metaObject()->property(index).read(component);
}

void SetPublishedProperty(QObject* component, const QString& name, const QVariant& value)
{
    const int index = FindPropertyIndex(component, name);
    if (index < 0)
        throw EPropertyError(QStringLiteral("Property %1 does not exist").arg(name));
    if (!component->metaObject()->property(index).write(component, value))
        throw EPropertyError(QStringLiteral("Invalid property value for %1").arg(name));
}

void ApplyStyleToChildren(QWidget* control, TsuiUIStyle style, TsuiFileTheme* fileTheme)
{
    if (!control)
        return;
    for (QObject* child : control->children()) {
        if (!child->isWidgetType() || !HasPublishedProperty(child, QStringLiteral("FileTheme"))
            || !HasPublishedProperty(child, QStringLiteral("UIStyle")))
            continue;
        SetPublishedProperty(child, QStringLiteral("FileTheme"), QVariant::fromValue(fileTheme));
        SetPublishedProperty(child, QStringLiteral("UIStyle"), QVariant::fromValue(style));
    }
}

void SetApplicationMainForm(QWidget* form)
{
    MainForm() = form;
}

QWidget* ApplicationMainForm()
{
    return MainForm().data();
}

bool IsFormActive(const QWidget* form)
{
    const QWidget* main = ApplicationMainForm();
    auto ownFlag = [form] { return form && form->isActiveWindow(); };
    if (!main)
        return ownFlag();
    const QMdiArea* mdi = main->findChild<QMdiArea*>();
    if (mdi && form == main)
        return true;
    if (QGuiApplication::applicationState() != Qt::ApplicationActive)
        return false;
    if (!form || form == main)
        return true;
    if (mdi && mdi->activeSubWindow() && mdi->activeSubWindow()->widget() == form)
        return true;
    return ownFlag();
}

} // namespace parvelle
