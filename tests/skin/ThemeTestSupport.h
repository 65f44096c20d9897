#pragma once
// Shared by the drawing and theme tests: the application object, pixel helpers and small
// components that publish UIStyle / FileTheme the way skinned controls do.
#include "skin/ThemeCatalogue.h"
#include "skin/ThemeFile.h"

#include <QApplication>
#include <QImage>
#include <QStringList>
#include <QWidget>

namespace skintest {

using parvelle::TColor;

// The widget tests need a QApplication; created once, shared with other test files, and
// never destroyed: tearing it down among the static destructors at exit crashes Qt.
inline void EnsureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "skin_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

inline TColor PixelAt(const QImage& image, int x, int y)
{
    return parvelle::ToTColor(image.pixel(x, y));
}

// Every pixel a colour of its own: red = 10 x, green = 10 y, blue 0x33 (never magenta).
inline QImage CoordinateImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(10 * x % 250, 10 * y % 250, 0x33));
    return image;
}

inline QImage FilledImage(int width, int height, TColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(parvelle::ToQColor(color));
    return image;
}

// A skinned control: both published properties, every write logged in order.
class StyledControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)

public:
    explicit StyledControl(QWidget* parent = nullptr, const QString& name = QString())
        : QWidget(parent)
    {
        setObjectName(name);
    }
    parvelle::TsuiUIStyle UIStyle() const { return style_; }
    void SetUIStyle(parvelle::TsuiUIStyle style)
    {
        style_ = style;
        writes.append(QStringLiteral("UIStyle=%1").arg(int(style)));
    }
    parvelle::TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(parvelle::TsuiFileTheme* fileTheme)
    {
        fileTheme_ = fileTheme;
        writes.append(QStringLiteral("FileTheme=%1").arg(fileTheme ? fileTheme->objectName()
                                                                   : QStringLiteral("none")));
    }

    QStringList writes;

private:
    parvelle::TsuiUIStyle style_ = parvelle::DeepBlue;
    parvelle::TsuiFileTheme* fileTheme_ = nullptr;
};

// Same contract under a skin class name (the file theme reloads only "Tsui" classes).
class TsuiStyledControl : public StyledControl {
    Q_OBJECT
public:
    using StyledControl::StyledControl;
};

// A control that publishes UIStyle only.
class StyleOnlyControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)

public:
    explicit StyleOnlyControl(QWidget* parent = nullptr, const QString& name = QString())
        : QWidget(parent)
    {
        setObjectName(name);
    }
    parvelle::TsuiUIStyle UIStyle() const { return style_; }
    void SetUIStyle(parvelle::TsuiUIStyle style) { style_ = style; }

private:
    parvelle::TsuiUIStyle style_ = parvelle::DeepBlue;
};

// Publishes Width and Height of its own, as a skinned frame does, over QWidget's width and
// height: the written values are kept apart from the widget's size.
class SizedControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(int Height READ Height WRITE SetHeight)

public:
    using QWidget::QWidget;
    int Width() const { return width_; }
    void SetWidth(int width) { width_ = width; }
    int Height() const { return height_; }
    void SetHeight(int height) { height_ = height; }

private:
    int width_ = -1;
    int height_ = -1;
};

// Stands in for the skinned frame when a form's style is looked up.
class TsuiForm : public StyleOnlyControl {
    Q_OBJECT
public:
    using StyleOnlyControl::StyleOnlyControl;
};

} // namespace skintest
