#pragma once
// Skinned push buttons: TsuiCustomButton holds the mouse and keyboard behaviour, auto-repeat
// and painting; TsuiButton draws the theme's button face with an optional glyph;
// TsuiImageButton draws one of four pictures.
#include "ButtonPaint.h"
#include "ControlSupport.h"
#include "RepeatTimer.h"
#include "ThemeCatalogue.h"
#include "ThemeFile.h"

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>

namespace parvelle {

class TsuiCustomButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(bool Cancel READ Cancel WRITE SetCancel)
    Q_PROPERTY(bool Default READ Default WRITE SetDefault)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(int ModalResult READ ModalResult WRITE SetModalResult)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(int FocusedRectMargin READ FocusedRectMargin WRITE SetFocusedRectMargin)
    Q_PROPERTY(int MouseContinuouslyDownInterval READ MouseContinuouslyDownInterval
                   WRITE SetMouseContinuouslyDownInterval)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)

public:
    // Takes its style from the parent's form; 80 x 27, reached by Tab.
    explicit TsuiCustomButton(QWidget* parent = nullptr);
    ~TsuiCustomButton() override;

    TsuiFileTheme* FileTheme() const { return fileTheme_.get(); }
    void SetFileTheme(TsuiFileTheme* fileTheme);   // then UIStyle is written again
    virtual TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle style);

    bool Cancel() const { return cancel_; }      // Escape anywhere in the window clicks
    void SetCancel(bool cancel);
    bool Default() const { return default_; }    // Enter anywhere in the window clicks
    void SetDefault(bool value);
    QString Caption() const { return caption_; }   // "&" marks the Alt accelerator
    void SetCaption(const QString& caption);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);
    int ModalResult() const { return modalResult_; }   // given to a dialog on click
    void SetModalResult(int result) { modalResult_ = result; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    int FocusedRectMargin() const { return focusedRectMargin_; }
    void SetFocusedRectMargin(int margin);
    int MouseContinuouslyDownInterval() const { return repeatInterval_; }
    void SetMouseContinuouslyDownInterval(int ms) { repeatInterval_ = ms; }
    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool tabStop);

    const PushButtonMachine& State() const { return machine_; }
    // The clock auto-repeat timers run on (the event loop's by default).
    void SetRepeatClock(RepeatClock* clock) { clock_ = clock; }

    // What the keyboard and the mouse end in: clears the press, takes the focus, passes the
    // modal result to a dialog, then OnClick.
    void Click();

Q_SIGNALS:
    void OnClick();
    void OnMouseEnter();
    void OnMouseExit();
    void OnMouseContinuouslyDown();
    void OnMouseDown(Qt::MouseButton button, const QPoint& position);

protected:
    virtual void UpdateAutoSize() = 0;
    virtual void UIStyleChanged() {}
    // Everything over the background.
    virtual void PaintContent(QPainter& canvas, const ButtonLook& look) = 0;
    virtual FocusLook FocusStyle() const { return FocusLook::DottedRect; }
    ButtonLook Look() const;
    void Changed();   // repaints at once

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SyncRepeatTimer();
    void WatchWindow();
    bool IsDialogKeyFor(const QKeyEvent* key) const;

    PushButtonMachine machine_;
    std::unique_ptr<RepeatTimer> repeatTimer_;
    RepeatClock* clock_ = &EventLoopClock();
    FileThemeLink fileTheme_;
    QPointer<QWidget> watchedWindow_;
    TsuiUIStyle uiStyle_ = DeepBlue;
    QString caption_;
    int shortcutId_ = 0;
    bool leftDown_ = false;   // a left press on this button awaits its release
    bool cancel_ = false;
    bool default_ = false;
    bool transparent_ = false;
    bool autoSize_ = false;
    int modalResult_ = 0;
    int focusedRectMargin_ = 2;
    int repeatInterval_ = 100;
};

class TsuiButton : public TsuiCustomButton {
    Q_OBJECT
    Q_PROPERTY(QImage Glyph READ Glyph WRITE SetGlyph)
    Q_PROPERTY(parvelle::TButtonLayout Layout READ Layout WRITE SetLayout)
    Q_PROPERTY(int Spacing READ Spacing WRITE SetSpacing)
    Q_PROPERTY(uint ResHandle READ ResHandle WRITE SetResHandle)

public:
    explicit TsuiButton(QWidget* parent = nullptr);

    // A glyph twice as wide as high holds the enabled and the disabled image.
    const QImage& Glyph() const { return glyph_; }
    void SetGlyph(const QImage& glyph);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout layout);
    int Spacing() const { return spacing_; }
    void SetSpacing(int spacing);
    uint ResHandle() const { return 0; }   // kept for stored forms: reads 0, writes ignored
    void SetResHandle(uint) {}

protected:
    void UpdateAutoSize() override;
    void UIStyleChanged() override;
    void PaintContent(QPainter& canvas, const ButtonLook& look) override;
    FocusLook FocusStyle() const override;

private:
    void LoadFaces();
    const QImage& FaceAtSize(ButtonFace face);

    // Slices of the theme's button bitmap (normal, mouse over, pressed), and each stretched
    // to the button's size and transparency once.
    std::array<QImage, 3> faces_;
    std::array<QImage, 3> stretched_;
    std::array<bool, 3> stretchedTransparent_{};
    QImage glyph_;
    TButtonLayout layout_ = blGlyphLeft;
    int spacing_ = 4;
};

class TsuiImageButton : public TsuiCustomButton {
    Q_OBJECT
    Q_PROPERTY(QImage PicNormal READ PicNormal WRITE SetPicNormal)
    Q_PROPERTY(QImage PicMouseOn READ PicMouseOn WRITE SetPicMouseOn)
    Q_PROPERTY(QImage PicMouseDown READ PicMouseDown WRITE SetPicMouseDown)
    Q_PROPERTY(QImage PicDisabled READ PicDisabled WRITE SetPicDisabled)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
    Q_PROPERTY(bool DrawFocused READ DrawFocused WRITE SetDrawFocused)

public:
    explicit TsuiImageButton(QWidget* parent = nullptr);

    // Reads FromThemeFile whatever was written: the pictures are the whole look.
    TsuiUIStyle UIStyle() const override { return FromThemeFile; }

    // The pictures of the four states; a missing one falls back to PicNormal. Each has its
    // top-left pixel's colour as transparent colour.
    const QImage& PicNormal() const { return pictures_[0]; }
    const QImage& PicMouseOn() const { return pictures_[1]; }
    const QImage& PicMouseDown() const { return pictures_[2]; }
    const QImage& PicDisabled() const { return pictures_[3]; }
    void SetPicNormal(const QImage& picture) { SetPicture(ButtonFace::Normal, picture); }
    void SetPicMouseOn(const QImage& picture) { SetPicture(ButtonFace::MouseOn, picture); }
    void SetPicMouseDown(const QImage& picture) { SetPicture(ButtonFace::MouseDown, picture); }
    void SetPicDisabled(const QImage& picture) { SetPicture(ButtonFace::Disabled, picture); }
    void SetPicture(ButtonFace face, const QImage& picture);
    const QImage& PictureFor(ButtonFace face) const;

    bool Stretch() const { return stretch_; }
    void SetStretch(bool stretch);
    bool DrawFocused() const { return drawFocused_; }
    void SetDrawFocused(bool drawFocused);

protected:
    void UpdateAutoSize() override;
    void PaintContent(QPainter& canvas, const ButtonLook& look) override;
    FocusLook FocusStyle() const override;

private:
    std::array<QImage, 4> pictures_;   // by ButtonFace
    bool stretch_ = false;
    bool drawFocused_ = false;
};

} // namespace parvelle
