// Built-in theme catalogue lookups, the owner form's style and the file-or-built-in choice.
#include "skin/ThemeCatalogue.h"
#include "ThemeTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

TEST(ThemeCatalogue, LookupsGiveValuesOfTheRightKindOnly)
{
    EXPECT_EQ(GetBuiltInThemeColor(WinXP, ThemeItem::FormBorderColor), 0xC82C00u);
    EXPECT_EQ(GetBuiltInThemeInt(WinXP, ThemeItem::FormBorderWidthInt), 3);
    EXPECT_EQ(GetBuiltInThemeInt(WinXP, ThemeItem::FormBorderColor), -1);       // wrong kind
    EXPECT_EQ(GetBuiltInThemeColor(FromThemeFile, ThemeItem::FormBorderColor), 0u);
    EXPECT_EQ(GetBuiltInThemeInt(FromThemeFile, ThemeItem::FormMinWidthInt), -1);
    EXPECT_EQ(GetBuiltInThemeColor(WinXP, ThemeItem::FormBorderWidthInt), 0u);  // wrong kind
    EXPECT_FALSE(GetBuiltInThemeBool(WinXP, ThemeItem::FormBorderColor));
    EXPECT_TRUE(GetBuiltInThemeBool(MacOS, ThemeItem::ButtonTransparentBool));
    EXPECT_FALSE(GetBuiltInThemeBool(WinXP, ThemeItem::ButtonTransparentBool));
    EXPECT_TRUE(GetBuiltInThemeBool(Protein, ThemeItem::TitleBarButtonTransparentBool));
}

TEST(ThemeCatalogue, EveryStyleColumnIsItsOwn)
{
    EXPECT_EQ(GetBuiltInThemeInt(MacOS, ThemeItem::TitleBarButtonLeftOffsetInt), 3);
    EXPECT_EQ(GetBuiltInThemeInt(BlueGlass, ThemeItem::TitleBarButtonRightOffsetInt), -3);
    EXPECT_EQ(GetBuiltInThemeInt(BlueGlass, ThemeItem::FormMinWidthInt), 270);
    EXPECT_EQ(GetBuiltInThemeInt(WinXP, ThemeItem::FormRoundCornerInt), 13);
    EXPECT_EQ(GetBuiltInThemeColor(DeepBlue, ThemeItem::MenuSelectedBorderColor), 0xA04A44u);
    EXPECT_EQ(GetBuiltInThemeColor(Protein, ThemeItem::FormBackgroundColor), 0xFBFBFBu);
    EXPECT_EQ(GetBuiltInThemeColor(WinXP, ThemeItem::ControlFontColor), 0xCF4602u);
    EXPECT_EQ(GetBuiltInThemeColor(BlueGlass, ThemeItem::MenuBackgroundColor), 0xE7E7E7u);
    EXPECT_EQ(GetBuiltInThemeColor(WinXP, ThemeItem::ToolBarButtonDownBackgroundColor), 0xE1AC93u);
    EXPECT_EQ(BuiltInThemeImageName(WinXP, ThemeItem::TitleBarButtonImage), "WINXP_TITLEBTN");
    EXPECT_EQ(BuiltInThemeImageName(MacOS, ThemeItem::SideChannelBarImage), "MACOS_SIDECHENNEL_BAR");
    EXPECT_EQ(BuiltInThemeImageName(WinXP, ThemeItem::ScrollButtonImage), "WINXP_SCROLLBUTTON");
    for (TsuiUIStyle style : {DeepBlue, Protein, BlueGlass})
        EXPECT_EQ(BuiltInThemeImageName(style, ThemeItem::ScrollButtonImage), "MORE_SCROLLBUTTON");
}

TEST(ThemeCatalogue, KeyNamesEndInTheirKindAndImagesFollowTheStylePrefix)
{
    const QMap<ThemeItemKind, QString> suffix = {
        {ikInt, "Int"}, {ikColor, "Color"}, {ikImage, "Image"}, {ikBool, "Bool"}};
    const QMap<TsuiUIStyle, QString> prefix = {{MacOS, "MACOS_"}, {WinXP, "WINXP_"},
        {DeepBlue, "DEEPBLUE_"}, {Protein, "PROTEIN_"}, {BlueGlass, "BLUEGLASS_"}};
    QSet<QString> keyNames;
    for (int item = 1; item <= kThemeItemCount; ++item) {
        const QString key = ThemeItemKeyName(item);
        const ThemeItemKind kind = ThemeItemKindOf(item);
        EXPECT_TRUE(key.endsWith(suffix[kind])) << key.toStdString();
        keyNames.insert(key.toLower());
        for (auto it = prefix.begin(); it != prefix.end(); ++it) {
            ThemeItemKind entryKind;
            GetBuiltInThemeEntry(it.key(), item, entryKind);
            EXPECT_EQ(entryKind, kind);
            const QString image = BuiltInThemeImageName(it.key(), item);
            if (kind != ikImage) {
                EXPECT_TRUE(image.isEmpty());
            } else if (image != "MORE_SCROLLBUTTON") {
                EXPECT_TRUE(image.startsWith(it.value())) << image.toStdString();
                EXPECT_EQ(image.mid(it.value().size()),
                          BuiltInThemeImageName(WinXP, item).mid(6));   // same part in every style
            }
        }
    }
    EXPECT_EQ(keyNames.size(), kThemeItemCount);
}

TEST(ThemeCatalogue, OtherStylesAndItemsAreNeutral)
{
    ThemeItemKind kind = ikColor;
    EXPECT_EQ(GetBuiltInThemeEntry(FromThemeFile, ThemeItem::FormBorderColor, kind), -1);
    EXPECT_EQ(kind, ikInt);
    EXPECT_EQ(GetBuiltInThemeEntry(static_cast<TsuiUIStyle>(6), 16, kind), -1);
    // Only the low 7 bits of the style count.
    EXPECT_EQ(GetBuiltInThemeColor(static_cast<TsuiUIStyle>(0x80 | WinXP), 16), 0xC82C00u);
    for (int item : {0, -1, 43, 1000}) {
        EXPECT_EQ(GetBuiltInThemeEntry(WinXP, item, kind), -1);
        EXPECT_EQ(kind, ikInt);
        EXPECT_EQ(GetBuiltInThemeColor(WinXP, item), 0u);
        EXPECT_TRUE(ThemeItemKeyName(item).isEmpty());
    }
}

TEST(ThemeCatalogue, BitmapOfAnotherKindLeavesBitmapUnchanged)
{
    const QImage before = FilledImage(3, 3, 0x123456);
    QImage bitmap = before;
    LoadBuiltInThemeBitmap(WinXP, ThemeItem::FormBorderColor, bitmap, 1, 3);
    LoadBuiltInThemeBitmap(FromThemeFile, ThemeItem::ButtonImage, bitmap);
    LoadBuiltInThemeBitmap(WinXP, 0, bitmap);
    EXPECT_EQ(bitmap, before);
    EXPECT_TRUE(LoadSkinBitmap("NO_SUCH_RESOURCE").isNull());
}

TEST(ThemeCatalogue, TitleButtonSliceTenOfEighteen)
{
    const QImage strip = LoadSkinBitmap("WINXP_TITLEBTN");
    ASSERT_EQ(strip.size(), QSize(378, 21));
    QImage slice;
    LoadBuiltInThemeBitmap(WinXP, ThemeItem::TitleBarButtonImage, slice, 10, 18);
    EXPECT_EQ(slice, strip.copy(189, 0, 21, 21));
    QImage whole;
    LoadBuiltInThemeBitmap(WinXP, ThemeItem::TitleBarButtonImage, whole);
    EXPECT_EQ(whole, strip);
}

TEST(OwnerFormUIStyle, FirstSkinnedFrameAmongTheFormsDirectChildren)
{
    EnsureApplication();
    EXPECT_EQ(OwnerFormUIStyle(nullptr), DeepBlue);

    QWidget form;
    EXPECT_EQ(OwnerFormUIStyle(&form), DeepBlue);   // no frame
    QWidget panel(&form);
    TsuiForm nested(&panel);
    nested.SetUIStyle(MacOS);
    EXPECT_EQ(OwnerFormUIStyle(&form), DeepBlue);   // frames deeper down do not count
    StyleOnlyControl notAFrame(&form);
    notAFrame.SetUIStyle(Protein);
    TsuiForm first(&form);
    first.SetUIStyle(WinXP);
    TsuiForm second(&form);
    second.SetUIStyle(BlueGlass);
    EXPECT_EQ(OwnerFormUIStyle(&form), WinXP);
    EXPECT_EQ(OwnerFormUIStyle(&panel), DeepBlue);  // not a form
    QObject plain;
    EXPECT_EQ(OwnerFormUIStyle(&plain), DeepBlue);
}

namespace {

// A usable file theme whose file sets FormBorderColor, FormBorderWidthInt and
// ButtonTransparentBool.
class UsableFileTheme : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath("blue.theme");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(BuildThemeFile({
            {"FormBorderColor", teInteger, ThemeIntegerData(0x0000FF)},
            {"FormBorderWidthInt", teInteger, ThemeIntegerData(7)},
            {"ButtonTransparentBool", teBoolean, ThemeBooleanData(true)},
        }));
        file.close();
        theme.SetThemeFile(path);
        ASSERT_TRUE(theme.CanUse());
    }

    QTemporaryDir dir;
    TsuiFileTheme theme;
};

} // namespace

TEST_F(UsableFileTheme, FileThemeInUseOnlyForFromThemeFile)
{
    TsuiUIStyle effective = MacOS;
    EXPECT_FALSE(FileThemeInUse(nullptr, FromThemeFile, effective));
    EXPECT_EQ(effective, DeepBlue);
    EXPECT_FALSE(FileThemeInUse(&theme, WinXP, effective));
    EXPECT_EQ(effective, WinXP);
    EXPECT_TRUE(FileThemeInUse(&theme, FromThemeFile, effective));
    EXPECT_EQ(effective, FromThemeFile);
    TsuiFileTheme unread;
    EXPECT_FALSE(FileThemeInUse(&unread, FromThemeFile, effective));
    EXPECT_EQ(effective, DeepBlue);
}

TEST_F(UsableFileTheme, ComponentsReadFromFileOrCatalogue)
{
    EXPECT_EQ(ThemeColor(&theme, FromThemeFile, ThemeItem::FormBorderColor), 0x0000FFu);
    EXPECT_EQ(ThemeInt(&theme, FromThemeFile, ThemeItem::FormBorderWidthInt), 7);
    EXPECT_TRUE(ThemeBool(&theme, FromThemeFile, ThemeItem::ButtonTransparentBool));
    EXPECT_EQ(ThemeInt(&theme, FromThemeFile, ThemeItem::FormMinWidthInt), -1);   // not in file
    EXPECT_EQ(ThemeColor(&theme, WinXP, ThemeItem::FormBorderColor), 0xC82C00u);
    EXPECT_EQ(ThemeInt(nullptr, FromThemeFile, ThemeItem::FormBorderWidthInt), 1);  // DeepBlue
    const QImage before = FilledImage(2, 2, 0x123456);
    QImage bitmap = before;
    ThemeBitmap(&theme, FromThemeFile, ThemeItem::ButtonImage, bitmap, 1, 3);  // no image entry
    EXPECT_EQ(bitmap, before);
}
