// Skinned menus measured and rendered off-screen.
#include "skin/Menus.h"
#include "skin/SystemMenu.h"
#include "ThemeTestSupport.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace parvelle;

namespace menutest {

// A skinned frame that shows a main menu (found by its class name).
class TsuiForm : public QWidget {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiMainMenu* Menu READ Menu WRITE SetMenu)

public:
    using QWidget::QWidget;
    TsuiMainMenu* Menu() const { return menu_; }
    void SetMenu(TsuiMainMenu* menu) { menu_ = menu; }

private:
    TsuiMainMenu* menu_ = nullptr;
};

} // namespace menutest

namespace {

QRgb Rgb(TColor color)
{
    return ToQColor(color).rgb();
}

QImage Render(QMenu& menu)
{
    menu.adjustSize();
    return menu.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The darkest grey level in a rectangle of the image.
int DarkestIn(const QImage& image, const QRect& rect)
{
    int darkest = 255;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            darkest = qMin(darkest, qGray(image.pixel(x, y)));
    return darkest;
}

class FakeTitleBar : public TsuiTitleBarCommands {
public:
    bool hasMin = true, hasMax = true, hasClose = true;
    QStringList calls;
    bool HasButton(TsuiTitleBarBtnType type) const override
    {
        return type == suiMin ? hasMin : type == suiMax ? hasMax : type == suiClose && hasClose;
    }
    void MinimizeForm() override { calls << "min"; }
    void ClickMaximizeButtons() override { calls << "max"; }
    void CloseForm() override { calls << "close"; }
};

class Menus : public ::testing::Test {
protected:
    void SetUp() override { skintest::EnsureApplication(); }
};

} // namespace

TEST_F(Menus, NewPopupMenuHasTheNeutralLookAndTheOwnersStyle)
{
    TsuiPopupMenu menu;
    EXPECT_EQ(menu.UIStyle(), DeepBlue);   // no owner form
    EXPECT_EQ(menu.MenuItemHeight(), 21);
    EXPECT_EQ(menu.SeparatorHeight(), 21);
    EXPECT_EQ(menu.BarWidth(), 0);
    EXPECT_EQ(menu.BarColor(), clBtnFace);
    EXPECT_EQ(menu.Color(), clWhite);
    EXPECT_EQ(menu.SeparatorColor(), 0x808080u);
    EXPECT_EQ(menu.SelectedColor(), clHighlight);
    EXPECT_EQ(menu.FontName(), "MS Sans Serif");
    EXPECT_TRUE(menu.UseSystemFont());
    SetPublishedProperty(&menu, "OwnerDraw", false);
    EXPECT_TRUE(menu.property("OwnerDraw").toBool());

    // On a skinned form the menu starts in the form's style, its look still neutral.
    QWidget form;
    auto* frame = new skintest::TsuiForm(&form);
    frame->SetUIStyle(WinXP);
    TsuiPopupMenu owned(&form);
    EXPECT_EQ(owned.UIStyle(), WinXP);
    EXPECT_EQ(owned.BarWidth(), 0);
}

TEST_F(Menus, ItemHeightsFollowTheStyleAndMacOSIgnoresWrites)
{
    TsuiPopupMenu menu;
    QAction* open = menu.addAction("Open");
    QAction* line = menu.addSeparator();
    QAction* dash = menu.addAction("-");   // a caption of exactly "-" is a separator too
    menu.SetUIStyle(WinXP);
    menu.adjustSize();
    EXPECT_EQ(menu.actionGeometry(open).height(), 21);
    EXPECT_EQ(menu.actionGeometry(line).height(), 5);
    EXPECT_EQ(menu.actionGeometry(dash).height(), 5);
    EXPECT_EQ(menu.height(), 31 + 2);   // items and the one-pixel window frame

    menu.SetUIStyle(MacOS);
    menu.SetMenuItemHeight(30);
    menu.SetSeparatorHeight(30);
    EXPECT_EQ(menu.MenuItemHeight(), 20);
    EXPECT_EQ(menu.SeparatorHeight(), 12);
    menu.adjustSize();
    EXPECT_EQ(menu.actionGeometry(open).height(), 20);
    EXPECT_EQ(menu.actionGeometry(line).height(), 12);

    menu.SetUIStyle(WinXP);
    EXPECT_EQ(menu.MenuItemHeight(), 21);
    menu.SetMenuItemHeight(25);
    EXPECT_EQ(menu.MenuItemHeight(), 25);
    menu.adjustSize();
    EXPECT_EQ(menu.actionGeometry(open).height(), 25);
}

TEST_F(Menus, ItemWidthIsCaptionAndShortcutTextPlusBarPlusForty)
{
    TsuiPopupMenu menu;
    menu.SetUIStyle(WinXP);
    const QFontMetrics metrics(menu.ItemFont());
    const QSize size = menu.MeasureItem("Open", "Ctrl+O");
    EXPECT_EQ(size.width(), metrics.horizontalAdvance("Open") + metrics.horizontalAdvance("Ctrl+O") + 26 + 40);
    EXPECT_EQ(size.height(), 21);
    menu.SetUseSystemFont(false);
    menu.SetFontName("Liberation Sans");
    menu.SetFontSize(20);
    EXPECT_GT(menu.MeasureItem("Open", "").width(), size.width() - metrics.horizontalAdvance("Ctrl+O"));
}

TEST_F(Menus, MenuIsAsWideAsItsItemWithShortcut)
{
    TsuiPopupMenu menu;
    menu.SetUIStyle(WinXP);
    QAction* open = menu.addAction("Open");
    open->setShortcut(QKeySequence("Ctrl+O"));
    menu.adjustSize();
    const QString shortcut = open->shortcut().toString(QKeySequence::NativeText);
    EXPECT_EQ(menu.width(), menu.MeasureItem("Open", shortcut).width() + 2);
    EXPECT_EQ(menu.actionGeometry(open).width(), menu.width() - 2);
}

TEST_F(Menus, WinXPSystemMenuShowsTheSelectedItemAndTheBar)
{
    FakeTitleBar bar;
    TsuiTitleBarPopupMenu menu(nullptr, &bar);
    menu.SetUIStyle(WinXP);
    menu.adjustSize();
    menu.setActiveAction(menu.Item(TsuiTitleBarPopupMenu::MaximizeItem));
    const QImage shot = Render(menu);

    const QRect max = menu.actionGeometry(menu.Item(TsuiTitleBarPopupMenu::MaximizeItem));
    EXPECT_EQ(shot.pixel(max.left(), max.top()), Rgb(0xC66931));
    EXPECT_EQ(shot.pixel(max.right(), max.bottom()), Rgb(0xC66931));
    EXPECT_EQ(shot.pixel(max.left() + 1, max.top() + 1), Rgb(0xEFD3C6));
    EXPECT_EQ(shot.pixel(max.right() - 2, max.center().y()), Rgb(0xEFD3C6));

    const QRect min = menu.actionGeometry(menu.Item(TsuiTitleBarPopupMenu::MinimizeItem));
    const int l = min.left();
    for (int y = min.top(); y <= min.bottom(); ++y) {
        for (int x = l; x < l + 26; ++x)
            ASSERT_EQ(shot.pixel(x, y), Rgb(0xCED3D6)) << x << "," << y;
        ASSERT_EQ(shot.pixel(l + 26, y), Rgb(0xFFFFFF)) << y;
    }

    const QRect sep = menu.actionGeometry(menu.Item(TsuiTitleBarPopupMenu::SeparatorItem));
    ASSERT_EQ(sep.height(), 5);
    EXPECT_EQ(shot.pixel(l + 29, sep.top() + 2), Rgb(0xFFFFFF));
    EXPECT_EQ(shot.pixel(l + 30, sep.top() + 2), Rgb(0x848284));
    EXPECT_EQ(shot.pixel(sep.right() - 2, sep.top() + 2), Rgb(0x848284));
    EXPECT_EQ(shot.pixel(sep.right() - 1, sep.top() + 2), Rgb(0xFFFFFF));
    EXPECT_EQ(shot.pixel(l + 30, sep.top() + 1), Rgb(0xFFFFFF));
    EXPECT_EQ(shot.pixel(l + 10, sep.top() + 2), Rgb(0xCED3D6));

    // The window's own one-pixel frame surrounds the items.
    EXPECT_EQ(l, 1);
    EXPECT_EQ(shot.pixel(0, min.center().y()), qRgb(0x80, 0x80, 0x80));
    EXPECT_EQ(shot.pixel(shot.width() - 1, min.center().y()), qRgb(0x80, 0x80, 0x80));
}

TEST_F(Menus, SystemMenuItemsFollowTheTitleBarButtons)
{
    FakeTitleBar bar;
    bar.hasMin = false;
    TsuiTitleBarPopupMenu menu(nullptr, &bar);
    ASSERT_EQ(menu.actions().size(), 4);
    EXPECT_EQ(menu.Item(TsuiTitleBarPopupMenu::MinimizeItem)->text(), "Mi&nimize");
    EXPECT_EQ(menu.Item(TsuiTitleBarPopupMenu::MaximizeItem)->text(), "Ma&ximize/Restore");
    EXPECT_TRUE(menu.Item(TsuiTitleBarPopupMenu::SeparatorItem)->isSeparator());
    EXPECT_EQ(menu.Item(TsuiTitleBarPopupMenu::CloseItem)->text(), "&Close");

    menu.UpdateItems();
    EXPECT_FALSE(menu.Item(TsuiTitleBarPopupMenu::MinimizeItem)->isEnabled());
    EXPECT_TRUE(menu.Item(TsuiTitleBarPopupMenu::MaximizeItem)->isEnabled());
    EXPECT_TRUE(menu.Item(TsuiTitleBarPopupMenu::CloseItem)->isEnabled());

    // The disabled caption is grey, the enabled one black.
    menu.SetUIStyle(WinXP);
    const QImage shot = Render(menu);
    auto captionArea = [&](TsuiTitleBarPopupMenu::ItemIndex i) {
        const QRect r = menu.actionGeometry(menu.Item(i));
        return QRect(r.left() + 30, r.top() + 4, r.width() - 31, r.height() - 5);
    };
    EXPECT_EQ(DarkestIn(shot, captionArea(TsuiTitleBarPopupMenu::MinimizeItem)), 0x80);
    EXPECT_LT(DarkestIn(shot, captionArea(TsuiTitleBarPopupMenu::CloseItem)), 0x40);

    menu.Item(TsuiTitleBarPopupMenu::MaximizeItem)->trigger();
    menu.Item(TsuiTitleBarPopupMenu::CloseItem)->trigger();
    EXPECT_EQ(bar.calls, QStringList({"max", "close"}));
}

TEST_F(Menus, CheckedItemShowsTheCheckMarkOrAFramedImage)
{
    TsuiPopupMenu menu;
    menu.SetUIStyle(WinXP);
    QAction* plain = menu.addAction("Plain");
    plain->setCheckable(true);
    plain->setChecked(true);
    QImage dot(16, 16, QImage::Format_ARGB32);
    dot.fill(Qt::transparent);
    for (int y = 6; y < 10; ++y)
        for (int x = 6; x < 10; ++x)
            dot.setPixel(x, y, qRgb(255, 0, 0));
    QAction* pictured = menu.addAction(QIcon(QPixmap::fromImage(dot)), "Pictured");
    pictured->setCheckable(true);
    pictured->setChecked(true);
    const QImage shot = Render(menu);

    const QRect a = menu.actionGeometry(plain);
    const QImage& mark = MenuCheckMark();
    int inked = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const QRgb drawn = shot.pixel(a.left() + 4 + x, a.top() + 3 + y);
            if (qAlpha(mark.pixel(x, y)) == 255) {
                ASSERT_EQ(drawn, mark.pixel(x, y) | 0xFF000000) << x << "," << y;
                ++inked;
            } else if (x < 22 - 4) {
                ASSERT_EQ(drawn, Rgb(0xCED3D6)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(inked, 10);

    const QRect b = menu.actionGeometry(pictured);
    EXPECT_EQ(shot.pixel(b.left() + 2, b.top() + 1), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(b.left() + 20, b.top() + 19), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(b.left() + 3, b.top() + 2), Rgb(0xEFD3C6));
    EXPECT_EQ(shot.pixel(b.left() + 4 + 7, b.top() + 3 + 7), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(b.left() + 1, b.top() + 1), Rgb(0xCED3D6));
}

TEST_F(Menus, DisabledCheckMarkIsGreyed)
{
    TsuiPopupMenu menu;
    menu.SetUIStyle(WinXP);
    QAction* action = menu.addAction("Off");
    action->setCheckable(true);
    action->setChecked(true);
    action->setEnabled(false);
    const QImage shot = Render(menu);
    const QRect r = menu.actionGeometry(action);
    EXPECT_GT(DarkestIn(shot, QRect(r.left() + 4, r.top() + 3, 16, 16)), 0x50);
}

TEST_F(Menus, MainMenuDrawsACheckedItemAsTheFramedCheckImage)
{
    TsuiMainMenu menu;
    menu.SetUIStyle(WinXP);
    QAction* action = menu.addAction("Checked");
    action->setCheckable(true);
    action->setChecked(true);
    const QImage shot = Render(menu);
    const QRect r = menu.actionGeometry(action);
    EXPECT_EQ(shot.pixel(r.left() + 2, r.top() + 1), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(r.left() + 3, r.top() + 2), Rgb(0xEFD3C6));
    EXPECT_LT(DarkestIn(shot, QRect(r.left() + 4, r.top() + 3, 16, 16)), 0x40);
}

TEST_F(Menus, MacOSItemsUseTheMenuBitmaps)
{
    TsuiPopupMenu menu;
    menu.SetUIStyle(MacOS);
    QAction* item = menu.addAction("One");
    QAction* line = menu.addSeparator();
    QAction* chosen = menu.addAction("Two");
    menu.adjustSize();
    menu.setActiveAction(chosen);
    const QImage shot = Render(menu);
    const QImage bar = LoadSkinBitmap("MACOS_MENU_BAR");
    const QImage select = LoadSkinBitmap("MACOS_MENU_SELECT");
    const QRect a = menu.actionGeometry(item), b = menu.actionGeometry(chosen), c = menu.actionGeometry(line);
    for (int y = 0; y < 20; ++y) {
        EXPECT_EQ(shot.pixel(2, a.top() + y), bar.pixel(0, y) | 0xFF000000) << y;
        EXPECT_EQ(shot.pixel(2, b.top() + y), select.pixel(0, y) | 0xFF000000) << y;
    }
    ASSERT_EQ(c.height(), 12);
    for (int y = 0; y < 12; ++y)
        EXPECT_EQ(shot.pixel(2, c.top() + y), bar.pixel(0, y) | 0xFF000000) << y;
}

TEST_F(Menus, FlatMenuFramesTheMenuWindow)
{
    TsuiPopupMenu menu;
    menu.SetUIStyle(WinXP);
    menu.addAction("One");
    menu.addAction("Two");
    menu.SetFlatMenu(true);
    const QImage shot = Render(menu);
    const int w = shot.width(), h = shot.height();
    const QRgb edge = Rgb(GetBuiltInThemeColor(WinXP, ThemeItem::FormBackgroundColor));
    EXPECT_EQ(shot.pixel(0, h / 2), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(w - 2, h / 2), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(w / 2, 1), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(w / 2, h - 2), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(1, h / 2), qRgb(255, 255, 255));
    EXPECT_EQ(shot.pixel(w / 2, 2), qRgb(255, 255, 255));
    EXPECT_EQ(shot.pixel(w - 1, h / 2), edge);
    EXPECT_EQ(shot.pixel(w / 2, 0), edge);
    EXPECT_EQ(shot.pixel(w / 2, h - 1), edge);
}

TEST_F(Menus, SubmenusAtAnyDepthAreMeasuredTheSameWay)
{
    TsuiPopupMenu menu;
    menu.SetUIStyle(WinXP);
    QMenu* sub = menu.addMenu("Sub");
    QMenu* deeper = sub->addMenu("Deeper");
    deeper->addAction("First");
    QAction* line = deeper->addSeparator();
    QAction* item = deeper->addAction("Leaf");
    deeper->addMenu(sub);   // a loop back up must not trap the walk
    menu.InstallHandlers();
    deeper->adjustSize();
    EXPECT_EQ(deeper->actionGeometry(line).height(), 5);
    EXPECT_EQ(deeper->actionGeometry(item).height(), 21);
    menu.SetUIStyle(MacOS);
    deeper->adjustSize();
    EXPECT_EQ(deeper->actionGeometry(line).height(), 12);
}

TEST_F(Menus, RemovedFileThemeFallsBackToDeepBlue)
{
    TsuiPopupMenu menu;
    auto* theme = new TsuiFileTheme;
    menu.SetUIStyle(WinXP);
    menu.SetFileTheme(theme);
    EXPECT_EQ(menu.FileTheme(), theme);
    delete theme;
    EXPECT_EQ(menu.FileTheme(), nullptr);
    EXPECT_EQ(menu.UIStyle(), DeepBlue);
    EXPECT_EQ(menu.SelectedColor(), GetBuiltInThemeColor(DeepBlue, ThemeItem::MenuSelectedBackgroundColor));
}

TEST_F(Menus, MainMenuReportsItemChangesAtAnyDepth)
{
    TsuiMainMenu menu;
    int changes = 0;
    QObject::connect(&menu, &TsuiMainMenu::ItemsChanged, [&] { ++changes; });
    QMenu* file = menu.addMenu("&File");
    EXPECT_GE(changes, 1);
    const int before = changes;
    QAction* exit = file->addAction("E&xit");
    EXPECT_GT(changes, before);
    const int afterAdd = changes;
    exit->setEnabled(false);
    EXPECT_GT(changes, afterAdd);
}


TEST_F(Menus, MainMenuAttachesItselfToTheFormsSkinnedFrame)
{
    QWidget form;
    QWidget plain(&form);
    auto* frame = new menutest::TsuiForm(&form);
    TsuiMainMenu menu(&form);
    EXPECT_EQ(menu.Form(), frame);
    EXPECT_EQ(frame->Menu(), &menu);

    QWidget bare;
    TsuiMainMenu unattached(&bare);
    EXPECT_EQ(unattached.Form(), nullptr);
}

TEST_F(Menus, FileThemeColoursReplaceTheBuiltInOnes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = QDir(dir.path()).filePath("menu.theme");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(BuildThemeFile({
        {"MenuSelectedBackgroundColor", teInteger, ThemeIntegerData(0x123456)},
        {"MenuBarColor", teInteger, ThemeIntegerData(0x00FF00)},
        {"MenuFontColor", teInteger, ThemeIntegerData(0x0000FF)},
    }));
    file.close();
    TsuiFileTheme theme;
    theme.SetThemeFile(path);
    ASSERT_TRUE(theme.CanUse());

    TsuiPopupMenu menu;
    menu.SetFileTheme(&theme);
    menu.SetUIStyle(FromThemeFile);
    EXPECT_EQ(menu.SelectedColor(), 0x123456u);
    EXPECT_EQ(menu.BarColor(), 0x00FF00u);
    EXPECT_EQ(menu.FontColor(), 0x0000FFu);
    EXPECT_EQ(menu.SeparatorHeight(), 5);

    QAction* item = menu.addAction("Item");
    const QImage shot = Render(menu);
    const QRect r = menu.actionGeometry(item);
    EXPECT_EQ(shot.pixel(r.left() + 5, r.top() + 2), qRgb(0, 0xFF, 0));
}

#include "MenuSkinnedMenusTest.moc"
