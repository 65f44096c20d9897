#pragma once
// One factory per control role of the main window. Each makes the plain Qt widget of
// the role, named and placed as designed; the skinned classes replace them here only.
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QAbstractItemModel;
class QListView;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QTabBar;
class QTreeWidget;

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

// Pages under a row of tabs; the pages sit 3 pixels inside the control, below the tabs.
class PageControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int ActivePageIndex READ currentIndex WRITE setCurrentIndex)
public:
    explicit PageControl(QWidget* parent);
    void addPage(QWidget* page, const QString& caption);
    int count() const;
    int currentIndex() const;
    void setCurrentIndex(int index);
    QString tabText(int index) const;
    QWidget* page(int index) const;

    static constexpr int kTabHeight = 22;
    static constexpr int kMargin = 3;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void AddPageKeys();

    QTabBar* tabs_;
    QStackedWidget* pages_;
};

enum TextStyle { tsNone, tsRaised, tsRecessed };

// Text drawn turned counter-clockwise by Escapement degrees, with a 3-D look.
class RotatedLabel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int Escapement READ Escapement WRITE SetEscapement)
public:
    RotatedLabel(QWidget* parent, const QString& caption, int escapement, TextStyle style);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    int Escapement() const { return escapement_; }
    void SetEscapement(int escapement);
    void SetTextColor(QColor color) { color_ = color; update(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    int escapement_;
    TextStyle style_;
    QColor color_ = Qt::black;
};

QWidget* makeFrame(QWidget* parent, const QString& name, const QString& caption, QRect geometry);
PageControl* makePageControl(QWidget* parent, const QString& name, QRect geometry);
QWidget* makeTabSheet(PageControl* pages, const QString& name, const QString& caption);
QTreeWidget* makeListView(QWidget* parent, const QString& name, QRect geometry,
                          const QStringList& columns);
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QRect geometry);
QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption, QRect geometry);
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                  const QFont& font, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop);
ClickLabel* makeLinkLabel(QWidget* parent, const QString& name, const QString& caption,
                          QRect geometry, QColor color);
ClickLabel* makeImage(QWidget* parent, const QString& name, QRect geometry, const QPixmap& picture);
QListView* makeCheckListBox(QWidget* parent, const QString& name, QRect geometry, QAbstractItemModel* model);
QComboBox* makeComboBox(QWidget* parent, const QString& name, QRect geometry);
QScrollArea* makeScrollBox(QWidget* parent, const QString& name, QRect geometry, int contentHeight);
ShapeWidget* makeShape(QWidget* parent, const QString& name, QRect geometry, QColor brush,
                       int penWidth = 1, bool rounded = false);
RotatedLabel* makeRotateLabel(QWidget* parent, const QString& name, const QString& caption,
                              QRect geometry, int escapement, TextStyle style, const QFont& font);

} // namespace parvelle
