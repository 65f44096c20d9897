#pragma once
// A label that draws its caption turned by any angle, optionally raised or recessed.
#include "ImagePanel.h"
#include "SkinDraw.h"

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace parvelle {

enum TTextStyle : uint8_t { tsNone = 0, tsRaised, tsRecessed };

// Escapement kept within 0..360: negative values count up from 360 (-10 is 350), values
// above 360 come down by whole turns (720 is 360).
int NormalizedEscapement(int degrees);

// Offset of the text origin from the rectangle's top-left corner for a text cell W x H
// turned by Angle (1..360) counter-clockwise, so that the turned cell's uppermost,
// leftmost corner lands on the rectangle's corner.
QPoint RotatedTextOrigin(int angle, int w, int h);
// The turned cell's width and height.
QSize RotatedTextSize(int angle, int w, int h);

// What one paint of a rotated label reads.
struct RotateLabelLook {
    QSize size;
    QString caption;
    QFont font;
    QColor textColor = Qt::black;
    bool enabled = true;
    bool transparent = false;
    QColor color = Qt::white;
    int escapement = 45;
    TTextStyle textStyle = tsRaised;
    TAlignment alignment = taLeftJustify;
    bool autoSize = false;
    bool wordWrap = false;       // at 0 degrees only
    bool showAccelChar = true;   // at 0 degrees only
};

// 3-D copies (one pixel down-right and up-left in shadow and highlight colours), then the
// caption in its colour, or grey when disabled. At 0 degrees the text is laid out like a
// label's; otherwise it is one turned line placed by RotatedTextOrigin and the alignment.
void PaintRotateLabel(QPainter& canvas, const RotateLabelLook& look);

class TRotateLabel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Escapement READ Escapement WRITE SetEscapement)
    Q_PROPERTY(parvelle::TTextStyle TextStyle READ TextStyle WRITE SetTextStyle)
    Q_PROPERTY(parvelle::TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)
    Q_PROPERTY(bool ShowAccelChar READ ShowAccelChar WRITE SetShowAccelChar)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)

public:
    // 45 degrees, raised, Arial, auto-sized, opaque in the window colour.
    explicit TRotateLabel(QWidget* parent = nullptr);

    int Escapement() const { return escapement_; }
    void SetEscapement(int degrees);
    TTextStyle TextStyle() const { return textStyle_; }
    void SetTextStyle(TTextStyle style);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    // The label takes the size of its (turned) text.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool show);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool wrap);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateAutoSize();

    int escapement_ = 45;
    TTextStyle textStyle_ = tsRaised;
    TAlignment alignment_ = taLeftJustify;
    bool autoSize_ = true;
    QString caption_;
    TColor color_ = clWindow;
    bool showAccelChar_ = true;
    bool transparent_ = false;
    bool wordWrap_ = false;
};

} // namespace parvelle

Q_DECLARE_METATYPE(parvelle::TTextStyle)
