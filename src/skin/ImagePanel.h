#pragma once
// A panel that shows a picture at natural size, stretched or tiled, optionally over its
// parent's background, with an optional caption. TsuiCustomPanel holds the behaviour;
// TsuiImagePanel is the published component.
#include "ControlAlign.h"
#include "SkinDraw.h"

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <cstdint>

namespace parvelle {

enum TsuiDrawStyle : uint8_t {
    suiNormal = 0,    // natural size at the top-left corner
    suiStretch = 1,   // stretched over the client area
    suiTile = 2,      // tiled over the client area
};

// Horizontal alignment of a caption.
enum TAlignment : uint8_t { taLeftJustify = 0, taRightJustify, taCenter };

class TsuiCustomPanel : public QWidget {
    Q_OBJECT

public:
    explicit TsuiCustomPanel(QWidget* parent = nullptr);

    // The picture; a null image means the picture holds no graphic.
    const QImage& Picture() const { return picture_; }
    void SetPicture(const QImage& picture);

    TsuiDrawStyle DrawStyle() const { return drawStyle_; }
    void SetDrawStyle(TsuiDrawStyle style);

    // Over the parent's background; the picture's own transparent colour (its bottom-left
    // pixel, or its alpha channel) then lets the parent show through.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);

    TAlign Align() const { return ControlAlign(this); }
    void SetAlign(TAlign align);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    TColor Color() const { return color_; }
    void SetColor(TColor color);

    // Where the caption is written; (-1, -1), the state at creation, centres it vertically.
    QPoint CaptionPosition() const { return captionPosition_; }
    void SetCaptionPosition(const QPoint& position);
    // The rectangle the caption is drawn in (empty for a blank caption).
    QRect CaptionRect() const;

Q_SIGNALS:
    // The caption changed; carries the rectangle the old caption was drawn in.
    void CaptionChanged(const QRect& lastCaptionRect);

protected:
    void paintEvent(QPaintEvent* event) override;
    // A change of the picture's content: size adjusted (with AutoSize), repainted.
    virtual void PictureChanged();

private:
    void AdjustSize();
    void MakeDrawnPicture();
    void DrawPicture(QPainter& painter) const;
    void DrawCaption(QPainter& painter) const;
    int CaptionFlags() const;

    QImage picture_;
    QImage drawn_;   // the picture with its transparent colour applied when Transparent
    TsuiDrawStyle drawStyle_ = suiNormal;
    bool transparent_ = false;
    bool autoSize_ = false;
    TAlignment alignment_ = taCenter;
    QString caption_;
    TColor color_ = clBtnFace;
    QPoint captionPosition_{-1, -1};
};

class TsuiImagePanel : public TsuiCustomPanel {
    Q_OBJECT
    Q_PROPERTY(QImage Picture READ Picture WRITE SetPicture)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(parvelle::TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(parvelle::TAlign Align READ Align WRITE SetAlign)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)
    Q_PROPERTY(parvelle::TsuiDrawStyle DrawStyle READ DrawStyle WRITE SetDrawStyle)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)

public:
    explicit TsuiImagePanel(QWidget* parent = nullptr);
};

} // namespace parvelle

Q_DECLARE_METATYPE(parvelle::TsuiDrawStyle)
Q_DECLARE_METATYPE(parvelle::TAlignment)
