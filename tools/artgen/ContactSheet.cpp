#include "ContactSheet.h"

#include "Palette.h"
#include "Preview.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

namespace artgen {

namespace {

constexpr int kSheetWidth = 1240;
constexpr int kMargin = 16;
constexpr int kGap = 14;
constexpr int kLabelHeight = 28;

int Scale(const QImage& image)
{
    const int longest = qMax(image.width(), image.height());
    if (longest >= 200)
        return 2;
    if (longest >= 40)
        return 3;
    return 5;
}

QFont LabelFont()
{
    QFont label("Liberation Sans");
    label.setPixelSize(11);
    return label;
}

QString LabelOf(const ArtResource& r)
{
    return QStringLiteral("%1  %2 x %3").arg(r.name).arg(r.image.width()).arg(r.image.height());
}

struct Placement {
    const ArtResource* resource;
    QRect cell;   // magnified image area
};

// Flow layout of one group's images; returns the height used.
int LayOut(const std::vector<const ArtResource*>& group, int top, std::vector<Placement>& out)
{
    const QFontMetrics metrics(LabelFont());
    int x = kMargin, y = top, rowHeight = 0;
    for (const ArtResource* r : group) {
        const int s = Scale(r->image);
        const QSize size = r->image.size() * s;
        const int width = qMax(size.width(), metrics.horizontalAdvance(LabelOf(*r)));
        if (x + width > kSheetWidth - kMargin && x > kMargin) {
            x = kMargin;
            y += rowHeight + kLabelHeight + kGap;
            rowHeight = 0;
        }
        out.push_back({r, QRect(QPoint(x, y), size)});
        x += width + kGap;
        rowHeight = qMax(rowHeight, size.height());
    }
    return y + rowHeight + kLabelHeight + kGap - top;
}

constexpr int kPreviewScale = 2;

// The built-in style whose resources form this group, or 0.
int StyleOfGroup(const QString& group)
{
    for (int style = 1; style <= 5; ++style)
        if (PaletteFor(style).prefix == group)
            return style;
    return 0;
}

} // namespace

QImage ContactSheet(const std::vector<ArtResource>& resources)
{
    std::vector<QString> groups;
    for (const auto& r : resources)
        if (std::find(groups.begin(), groups.end(), r.group) == groups.end())
            groups.push_back(r.group);

    const int headingHeight = 34;
    std::vector<Placement> placements;
    std::vector<std::pair<QString, int>> headings;
    std::vector<std::pair<QImage, QRect>> previews;
    int y = 56;
    for (const QString& g : groups) {
        std::vector<const ArtResource*> members;
        for (const auto& r : resources)
            if (r.group == g)
                members.push_back(&r);
        headings.push_back({g, y});
        y += headingHeight;
        if (const int style = StyleOfGroup(g)) {
            const QImage preview = StylePreview(style, resources);
            previews.push_back({preview, QRect(QPoint(kMargin, y), preview.size() * kPreviewScale)});
            y += preview.height() * kPreviewScale + kGap;
        }
        y += LayOut(members, y, placements);
    }

    QImage sheet(kSheetWidth, y + kMargin, QImage::Format_RGB32);
    sheet.fill(QColor(0xF3, 0xF3, 0xF1));
    QPainter p(&sheet);
    QFont title("Liberation Sans");
    title.setPixelSize(20);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0x20, 0x20, 0x20));
    p.drawText(QRect(kMargin, 12, kSheetWidth, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Parvelle skin artwork (magenta = transparent)"));
    QFont heading = title;
    heading.setPixelSize(16);
    for (const auto& [name, top] : headings) {
        p.setFont(heading);
        p.fillRect(QRect(0, top, kSheetWidth, headingHeight - 8), QColor(0xDD, 0xE1, 0xE8));
        p.drawText(QRect(kMargin, top, kSheetWidth, headingHeight - 8), Qt::AlignLeft | Qt::AlignVCenter, name);
    }
    for (const auto& [preview, cell] : previews)
        p.drawImage(cell, preview);
    p.setFont(LabelFont());
    for (const auto& [resource, cell] : placements) {
        p.drawImage(cell, resource->image);
        p.setPen(QColor(0xA0, 0xA0, 0xA0));
        p.drawRect(cell.adjusted(-1, -1, 0, 0));
        p.setPen(QColor(0x30, 0x30, 0x30));
        p.drawText(QRect(cell.left(), cell.bottom() + 4, 400, kLabelHeight - 6), Qt::AlignLeft | Qt::AlignTop,
                   LabelOf(*resource));
    }
    return sheet;
}

} // namespace artgen
