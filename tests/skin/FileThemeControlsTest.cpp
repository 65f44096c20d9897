// Buttons and check box reading their faces, glyphs and transparency from a theme file.
#include "ButtonWidgetsSupport.h"
#include "skin/Buttons.h"
#include "skin/CheckBox.h"
#include "ThemeFileBytes.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

namespace {

constexpr TColor Slices[4] = {0x0000C0, 0x00C000, 0xC00000, 0x00C0C0};

// Count slices of Width x Height, slice k in Slices[k].
QImage Strip(int count, int width, int height)
{
    QImage strip(count * width, height, QImage::Format_RGB32);
    QPainter painter(&strip);
    for (int k = 0; k < count; ++k)
        painter.fillRect(k * width, 0, width, height, ToQColor(Slices[k]));
    return strip;
}

class FileThemeControls : public ::testing::Test {
protected:
    TestForm form;
    QTemporaryDir dir;
    TsuiFileTheme theme{&form};

    FileThemeControls()
    {
        const QString path = QDir(dir.path()).filePath(QStringLiteral("controls.theme"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(BuildThemeFile({
            {"ButtonImage", teImage, BmpBytes(Strip(3, 20, 21))},
            {"ButtonTransparentBool", teBoolean, ThemeBooleanData(true)},
            {"CheckBoxImage", teImage, BmpBytes(Strip(4, 11, 11))},
        }));
        file.close();
        theme.SetThemeFile(path);
    }
};

} // namespace

TEST_F(FileThemeControls, ButtonFacesAndTransparencyComeFromTheFile)
{
    ASSERT_TRUE(theme.CanUse());
    TsuiButton button(&form);
    button.SetFileTheme(&theme);
    button.SetUIStyle(FromThemeFile);
    EXPECT_TRUE(button.Transparent());
    EXPECT_EQ(PixelAt(Shot(button), 3, 3), Slices[0]);
    Enter(button);
    EXPECT_EQ(PixelAt(Shot(button), 3, 3), Slices[1]);
    Press(button, QPoint(3, 3));
    EXPECT_EQ(PixelAt(Shot(button), 3, 3), Slices[2]);
    button.SetAutoSize(true);
    EXPECT_EQ(button.size(), QSize(24, 21)) << "auto-size looks at the built-in catalogue only";

    button.SetUIStyle(WinXP);
    EXPECT_FALSE(button.Transparent()) << "a built-in style does not use the file";
}

TEST_F(FileThemeControls, CheckBoxGlyphsComeFromTheFile)
{
    TsuiCheckBox box(&form);
    box.SetFileTheme(&theme);
    box.SetUIStyle(FromThemeFile);
    box.SetCaption(QStringLiteral("x"));
    const int glyphTop = (box.height() - 11) / 2;
    EXPECT_EQ(PixelAt(Shot(box), 5, glyphTop + 5), Slices[1]) << "unchecked";
    box.SetChecked(true);
    EXPECT_EQ(PixelAt(Shot(box), 5, glyphTop + 5), Slices[0]);
    box.setEnabled(false);
    EXPECT_EQ(PixelAt(Shot(box), 5, glyphTop + 5), Slices[2]);
    box.SetChecked(false);
    EXPECT_EQ(PixelAt(Shot(box), 5, glyphTop + 5), Slices[3]);
}
