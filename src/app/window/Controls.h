#pragma once
// One factory per control role of the main window. Each makes the control of the role,
// named, placed and set as designed: skinned in the WinXP style where the skin has a class.
#include "skin/Buttons.h"
#include "skin/CheckBox.h"
#include "skin/FormFrame.h"
#include "skin/ListView.h"
#include "skin/PageControl.h"
#include "skin/RotateLabel.h"
#include "skin/ThemeManager.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>
#include <QWidget>

class QComboBox;
class QAbstractItemModel;
class QListView;
class QScrollArea;

namespace parvelle {

// A label or picture that reports clicks (link labels, the logo).
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A web link: reached by Tab with its focus drawn around it, clicked by the mouse, Space
// or Enter, and read by screen readers as a link with a press action. It carries the
// address it opens.
class LinkLabel : public ClickLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent);
    const QString& target() const { return target_; }
    void setTarget(const QString& target) { target_ = target; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString target_;
};

// A filled rectangle, optionally with rounded corners and a pen.
class ShapeWidget : public QWidget {
    Q_OBJECT
public:
    ShapeWidget(QWidget* parent, QColor brush, int penWidth, bool rounded);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_;
    int penWidth_;
    bool rounded_;
};

// A note drawn in a title bar between its caption and its buttons, in the caption's colour,
// cut at its end with "..." when it does not fit (what matters most comes first). Mouse
// events go to the title bar below, which shows the note's tooltip.
class TitleBarNote : public QLabel {
    Q_OBJECT
public:
    explicit TitleBarNote(TsuiTitleBar* titleBar);
    void setNote(const QString& note, const QString& toolTip);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void place();

    TsuiTitleBar* titleBar_;
    QString note_;
};

// The form's skinned frame; the form takes the frame's size plus its border.
TsuiForm* MakeFrame(QWidget* form, const QString& name, const QString& caption, QSize size);
// Fills its parent's client area; Ctrl+Tab / Ctrl+PageDown and Ctrl+Shift+Tab /
// Ctrl+PageUp switch its pages from anywhere in the window.
TsuiPageControl* MakePageControl(QWidget* parent, const QString& name);
TsuiTabSheet* MakeTabSheet(TsuiPageControl* pages, const QString& name, const QString& caption);
TsuiListView* MakeListView(QWidget* parent, const QString& name, QRect geometry,
                           const QStringList& columns);
TsuiButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, QRect geometry);
TsuiCheckBox* MakeCheckBox(QWidget* parent, const QString& name, const QString& caption, QPoint position,
                           const QFont& font);
QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                  const QFont& font, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop);
LinkLabel* MakeLinkLabel(QWidget* parent, const QString& name, const QString& caption,
                         QRect geometry, QColor color, const QString& target);
ClickLabel* MakeImage(QWidget* parent, const QString& name, QRect geometry, const QPixmap& picture);
// A picture that is a link; Description is what screen readers call it.
LinkLabel* MakePictureLink(QWidget* parent, const QString& name, QRect geometry, const QPixmap& picture,
                           const QString& description, const QString& target);
QListView* MakeCheckListBox(QWidget* parent, const QString& name, QRect geometry, QAbstractItemModel* model);
QComboBox* MakeComboBox(QWidget* parent, const QString& name, QRect geometry);
QScrollArea* MakeScrollBox(QWidget* parent, const QString& name, QRect geometry, int contentHeight);
ShapeWidget* MakeShape(QWidget* parent, const QString& name, QRect geometry, QColor brush,
                       int penWidth = 1, bool rounded = false);
TRotateLabel* MakeRotateLabel(QWidget* parent, const QString& name, const QString& caption,
                              QRect geometry, int escapement, TTextStyle style, const QFont& font);
// Keeps the components of the form in one style.
TsuiThemeManager* MakeThemeManager(QWidget* form, const QString& name, const QList<QObject*>& components);

} // namespace parvelle
