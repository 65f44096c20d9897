// The theme manager: restyling listed components by property name, removal notifications.
#include "skin/ThemeManager.h"
#include "ThemeTestSupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

using namespace parvelle;
using namespace skintest;

namespace {

class ThemeManagerOnForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApplication();
        form = std::make_unique<QWidget>();
        manager = new TsuiThemeManager(form.get());
        panel = new QWidget(form.get());
        button = new StyledControl(panel, "Button1");   // nested: still on the form
        list = new StyledControl(form.get(), "suiListView1");
        unlisted = new StyledControl(form.get(), "Unlisted");
    }

    std::unique_ptr<QWidget> form;
    TsuiThemeManager* manager = nullptr;
    QWidget* panel = nullptr;
    StyledControl* button = nullptr;
    StyledControl* list = nullptr;
    StyledControl* unlisted = nullptr;
};

} // namespace

TEST_F(ThemeManagerOnForm, NewManagerIsDeepBlueWithEmptyList)
{
    EXPECT_EQ(manager->UIStyle(), DeepBlue);
    EXPECT_TRUE(manager->CompList().isEmpty());
    EXPECT_EQ(manager->FileTheme(), nullptr);
    EXPECT_EQ(manager->property("UIStyle").value<TsuiUIStyle>(), DeepBlue);
}

TEST_F(ThemeManagerOnForm, FillingTheListRestylesNothing)
{
    manager->SetUIStyle(WinXP);
    manager->SetCompList({"Button1", "suiListView1"});
    EXPECT_TRUE(button->writes.isEmpty());
    EXPECT_TRUE(list->writes.isEmpty());
}

TEST_F(ThemeManagerOnForm, UpdateAllSetsStyleThenFileThemeInListOrder)
{
    TsuiFileTheme theme(form.get());
    theme.setObjectName("theme1");
    manager->SetCompList({"suilistview1", "NoSuchComponent", "Button1"});
    manager->SetFileTheme(&theme);   // runs UpdateAll with the current style
    EXPECT_EQ(list->writes, QStringList({"UIStyle=3", "FileTheme=theme1"}));
    EXPECT_EQ(button->writes, QStringList({"UIStyle=3", "FileTheme=theme1"}));
    EXPECT_TRUE(unlisted->writes.isEmpty());

    manager->SetUIStyle(MacOS);
    EXPECT_EQ(button->UIStyle(), MacOS);
    EXPECT_EQ(list->UIStyle(), MacOS);
    EXPECT_EQ(unlisted->UIStyle(), DeepBlue);
}

TEST_F(ThemeManagerOnForm, ChangeSignalOnlyWhenTheStyleChanges)
{
    QSignalSpy spy(manager, &TsuiThemeManager::OnUIStyleChanged);
    manager->SetUIStyle(WinXP);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<TsuiThemeManager*>(), manager);
    manager->SetUIStyle(WinXP);
    TsuiFileTheme theme;
    manager->SetFileTheme(&theme);
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(ThemeManagerOnForm, RemovedComponentLeavesTheList)
{
    manager->SetCompList({"Button1", "suiListView1", "Unlisted2"});
    delete button;
    EXPECT_EQ(manager->CompList(), QStringList({"suiListView1", "Unlisted2"}));
    delete unlisted;   // not listed: the list stays as it is
    EXPECT_EQ(manager->CompList(), QStringList({"suiListView1", "Unlisted2"}));
    manager->SetUIStyle(BlueGlass);   // nothing to skip, nothing raised
    EXPECT_EQ(list->UIStyle(), BlueGlass);
}

TEST_F(ThemeManagerOnForm, BoundComponentsStayListedWhenRenamed)
{
    manager->SetCompList({"Button1"});
    manager->SetUIStyle(WinXP);
    button->setObjectName("Renamed");   // bound when the list was set
    manager->SetComponents({list, nullptr, unlisted});
    EXPECT_TRUE(list->writes.isEmpty());   // binding restyles nothing
    list->setObjectName("Table");
    manager->SetUIStyle(MacOS);
    EXPECT_EQ(list->UIStyle(), MacOS);
    EXPECT_EQ(unlisted->UIStyle(), MacOS);
    EXPECT_EQ(button->UIStyle(), WinXP);   // no longer listed
    EXPECT_EQ(manager->CompList(), QStringList({"Table", "Unlisted"}));
    delete list;
    EXPECT_EQ(manager->CompList(), QStringList({"Unlisted"}));
}

TEST_F(ThemeManagerOnForm, ComponentFoundLaterIsWatchedFromUpdateAll)
{
    manager->SetCompList({"Later"});
    auto* later = new StyledControl(form.get(), "Later");
    manager->UpdateAll();
    EXPECT_EQ(later->UIStyle(), DeepBlue);
    EXPECT_EQ(later->writes.size(), 2);
    delete later;
    EXPECT_TRUE(manager->CompList().isEmpty());
}

TEST_F(ThemeManagerOnForm, RemovedFileThemeIsClearedAndStyleBecomesDeepBlue)
{
    auto* theme = new TsuiFileTheme(form.get());
    manager->SetCompList({"Button1"});
    manager->SetUIStyle(WinXP);
    manager->SetFileTheme(theme);
    QSignalSpy spy(manager, &TsuiThemeManager::OnUIStyleChanged);
    button->writes.clear();
    delete theme;
    EXPECT_EQ(manager->FileTheme(), nullptr);
    EXPECT_EQ(manager->UIStyle(), DeepBlue);
    EXPECT_EQ(spy.count(), 0);               // no signal
    EXPECT_TRUE(button->writes.isEmpty());   // no UpdateAll
}

TEST_F(ThemeManagerOnForm, ReplacedFileThemeNoLongerClearsOnRemoval)
{
    auto* oldTheme = new TsuiFileTheme(form.get());
    TsuiFileTheme newTheme;
    manager->SetUIStyle(WinXP);
    manager->SetFileTheme(oldTheme);
    manager->SetFileTheme(&newTheme);
    delete oldTheme;
    EXPECT_EQ(manager->FileTheme(), &newTheme);
    EXPECT_EQ(manager->UIStyle(), WinXP);
}

TEST_F(ThemeManagerOnForm, ListedComponentWithoutPropertiesRaises)
{
    auto* styleOnly = new StyleOnlyControl(form.get(), "StyleOnly");
    manager->SetCompList({"StyleOnly", "Button1"});
    EXPECT_THROW(manager->SetUIStyle(MacOS), EPropertyError);
    EXPECT_EQ(styleOnly->UIStyle(), MacOS);   // UIStyle was written before the failure
    EXPECT_EQ(manager->UIStyle(), MacOS);
    EXPECT_TRUE(button->writes.isEmpty());
}

TEST(ThemeManager, WithoutAFormUpdatesNothing)
{
    EnsureApplication();
    QWidget form;
    QWidget panel(&form);   // not a form
    StyledControl button(&panel, "Button1");
    TsuiThemeManager onPanel(&panel);
    onPanel.SetCompList({"Button1"});
    onPanel.SetUIStyle(WinXP);
    TsuiThemeManager orphan;
    orphan.SetCompList({"Button1"});
    orphan.SetUIStyle(MacOS);
    EXPECT_TRUE(button.writes.isEmpty());
}
