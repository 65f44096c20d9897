#pragma once
// Skinned two-state check box: a theme glyph (checked, unchecked, each enabled or disabled)
// and the caption beside it.
#include "ControlSupport.h"
#include "ThemeCatalogue.h"
#include "ThemeFile.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <array>

namespace parvelle {

enum TCheckBoxState : uint8_t { cbUnchecked = 0, cbChecked, cbGrayed };

// What one paint of a check box reads.
struct CheckBoxLook {
    QSize size;
    bool checked = false;
    bool enabled = true;
    bool focused = false;   // has the focus and takes it by Tab
    QString caption;        // "&" marks the Alt accelerator
    QFont font;
    QColor textColor = Qt::black;
};

// Slice of the glyph strip (1-based, of 4): checked, unchecked, checked disabled,
// unchecked disabled.
int CheckBoxGlyphSlice(bool checked, bool enabled);

// The size AutoSize gives: the glyph and the caption side by side, at least the glyph or
// a line of text high.
QSize CheckBoxAutoSize(const QFont& font, const QString& caption, QSize glyph);

// Glyph at the left edge, centred vertically; the caption beside it (in its normal colour
// even when disabled); the focus rectangle around the caption.
void PaintCheckBox(QPainter& canvas, const CheckBoxLook& look, const QImage& glyph);

class TsuiCheckBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)
    Q_PROPERTY(parvelle::TCheckBoxState State READ State WRITE SetState)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)

public:
    // 93 x 17, unchecked, opaque, AutoSize, reached by Tab, in its form's style.
    explicit TsuiCheckBox(QWidget* parent = nullptr);

    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle style);
    TsuiFileTheme* FileTheme() const { return fileTheme_.get(); }
    void SetFileTheme(TsuiFileTheme* fileTheme);   // then UIStyle is written again
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);   // a change repaints, then signals OnClick
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool tabStop);
    TCheckBoxState State() const { return checked_ ? cbChecked : cbUnchecked; }
    void SetState(TCheckBoxState state) { SetChecked(state == cbChecked); }   // grayed unchecks
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);

    // What the mouse, Space, Enter and the accelerator end in: takes the focus, toggles.
    void Click();

Q_SIGNALS:
    void OnClick();   // every change of Checked

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void LoadGlyphs();
    void UpdateAutoSize();
    CheckBoxLook Look() const;

    std::array<QImage, 4> glyphs_;   // the theme strip's slices, loaded once per style
    FileThemeLink fileTheme_;
    TsuiUIStyle uiStyle_ = DeepBlue;
    QString caption_;
    int shortcutId_ = 0;
    bool checked_ = false;
    bool autoSize_ = true;
    bool transparent_ = false;
    bool leftDown_ = false;
    bool keyDown_ = false;
};

} // namespace parvelle

Q_DECLARE_METATYPE(parvelle::TCheckBoxState)
