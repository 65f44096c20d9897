#pragma once
// Skinned scroll bar: TsuiScrollTrackBar holds range, position and the thumb;
// TsuiScrollBar puts it between two arrow buttons and builds the thumb from theme slices.
#include "Buttons.h"
#include "ControlSupport.h"
#include "ImagePanel.h"
#include "RepeatTimer.h"
#include "ThemeCatalogue.h"

#include <QImage>
#include <QWidget>
#include <array>
#include <memory>

namespace parvelle {

enum TsuiProgressBarOrientation : uint8_t { suiHorizontal = 0, suiVertical = 1 };

class TsuiScrollTrackBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(int PageSize READ PageSize WRITE SetPageSize)
    Q_PROPERTY(int LineSize READ LineSize WRITE SetLineSize)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)

public:
    explicit TsuiScrollTrackBar(QWidget* parent = nullptr);
    ~TsuiScrollTrackBar() override;

    int Min() const { return min_; }
    void SetMin(int value);   // above Max becomes Max; Position pulled inside
    int Max() const { return max_; }
    void SetMax(int value);   // below Min becomes Min; Position pulled inside
    int Position() const { return position_; }
    void SetPosition(int value);   // clamped to [Min, Max]
    int PageSize() const { return pageSize_; }
    void SetPageSize(int value);   // ignored outside 0..Max
    int LineSize() const { return lineSize_; }
    void SetLineSize(int value) { lineSize_ = value; }
    // How far the last OnChange moved Position.
    int PositionDelta() const { return positionDelta_; }

    TsuiProgressBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TsuiProgressBarOrientation orientation);
    TColor Color() const { return color_; }
    void SetColor(TColor color);

    // The thumb's picture; the thumb takes its size.
    void SetSliderImage(const QImage& image);
    const QWidget& Thumb() const { return *thumb_; }
    // Where the thumb sits for the current position, in track coordinates.
    QPoint ThumbOrigin() const;
    // The position whose thumb would be centred on Point.
    int PositionAt(const QPoint& point) const;

    void SetRepeatClock(RepeatClock* clock) { clock_ = clock; }
    bool Dragging() const { return dragging_; }
    bool PageRepeating() const { return pageTimer_ != nullptr; }

Q_SIGNALS:
    void OnChange();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool Horizontal() const { return orientation_ == suiHorizontal; }
    int Along(const QPoint& point) const { return Horizontal() ? point.x() : point.y(); }
    void PositionChanged();
    void ReportChange();
    void FitThickness();
    // One page step of Pages pages towards the pointer, never past it.
    void PageTowards(const QPoint& pointer, int pages);
    void PageRepeatTick();

    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    int pageSize_ = 2;
    int lineSize_ = 1;
    int lastReported_ = 0;
    int positionDelta_ = 0;
    TsuiProgressBarOrientation orientation_ = suiHorizontal;
    TColor color_ = clBtnFace;
    TsuiImagePanel* thumb_;
    bool dragging_ = false;
    QPoint pointer_;   // the pointer's last place while a button is held
    std::unique_ptr<RepeatTimer> pageTimer_;
    RepeatClock* clock_ = &EventLoopClock();
};

class TsuiScrollBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)
    Q_PROPERTY(int LineButton READ LineButton WRITE SetLineButton)
    Q_PROPERTY(parvelle::TsuiProgressBarOrientation Orientation READ Orientation WRITE SetOrientation)
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(int SmallChange READ SmallChange WRITE SetSmallChange)
    Q_PROPERTY(int LargeChange READ LargeChange WRITE SetLargeChange)
    Q_PROPERTY(int PageSize READ PageSize WRITE SetPageSize)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)

public:
    // Horizontal, range 0..100, page 2, style of the owner form.
    explicit TsuiScrollBar(QWidget* parent = nullptr);

    TsuiFileTheme* FileTheme() const { return fileTheme_.get(); }
    void SetFileTheme(TsuiFileTheme* fileTheme);   // then UIStyle is written again
    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle style);

    // Thumb length in pixels; 0 derives it from PageSize. Values under 18 become 18 at the
    // next thumb update; values longer than the space between the arrows are ignored.
    int LineButton() const { return lineButton_; }
    void SetLineButton(int value);
    TsuiProgressBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TsuiProgressBarOrientation orientation);
    int SmallChange() const { return smallChange_; }   // the arrows' step
    void SetSmallChange(int value) { smallChange_ = uint16_t(value); }
    TColor Color() const { return color_; }
    void SetColor(TColor color);   // the track's too

    int Max() const { return track_->Max(); }
    void SetMax(int value) { track_->SetMax(value); }
    int Min() const { return track_->Min(); }
    void SetMin(int value) { track_->SetMin(value); }
    int Position() const { return track_->Position(); }
    void SetPosition(int value) { track_->SetPosition(value); }
    int PageSize() const { return track_->PageSize(); }
    void SetPageSize(int value);
    int LargeChange() const { return track_->PageSize(); }   // the same value as PageSize
    void SetLargeChange(int value) { track_->SetPageSize(value); }
    int PositionDelta() const { return track_->PositionDelta(); }

    TsuiScrollTrackBar& Track() { return *track_; }
    TsuiImageButton& BackButton() { return *back_; }         // up or left
    TsuiImageButton& ForwardButton() { return *forward_; }   // down or right
    // The clock of the arrows' auto-repeat and the track's page repeat.
    void SetRepeatClock(RepeatClock* clock);

    void LayoutParts();
    void UpdateThumb();

Q_SIGNALS:
    void OnChange();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool Horizontal() const { return orientation_ == suiHorizontal; }
    int LengthOf(const QWidget& widget) const { return Horizontal() ? widget.width() : widget.height(); }
    void LoadImages();
    QImage ComposeThumb(int length) const;

    TsuiScrollTrackBar* track_;
    TsuiImageButton* back_;
    TsuiImageButton* forward_;
    std::array<QImage, 3> thumbPieces_;   // start cap, middle, end cap, turned for the orientation
    FileThemeLink fileTheme_;
    TsuiUIStyle uiStyle_ = DeepBlue;
    TsuiProgressBarOrientation orientation_ = suiHorizontal;
    uint16_t smallChange_ = 1;
    int lineButton_ = 0;
    TColor color_ = clBtnFace;
};

} // namespace parvelle

Q_DECLARE_METATYPE(parvelle::TsuiProgressBarOrientation)
