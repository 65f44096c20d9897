// What a screen reader finds in the main window: Qt's accessibility tree of the real window,
// walked as assistive technology walks it, and the keyboard focus as a sighted user sees it.
#include "WindowFixture.h"

#include "skin/ImagePanel.h"
#include "skin/ScrollBar.h"

#include <QAccessible>
#include <QApplication>
#include <QTreeWidget>

using namespace parvelle;
using namespace parvelle::test;

namespace {

// Every interface under Root, depth first; each child must name Root as its parent and
// be found at its own index.
QList<QAccessibleInterface*> Walk(QAccessibleInterface* root)
{
    QList<QAccessibleInterface*> all{root};
    for (int i = 0; i < root->childCount(); ++i) {
        QAccessibleInterface* child = root->child(i);
        if (!child || !child->isValid()) {
            ADD_FAILURE() << "child " << i << " of " << root->text(QAccessible::Name).toStdString();
            continue;
        }
        EXPECT_EQ(child->parent(), root) << child->text(QAccessible::Name).toStdString();
        EXPECT_EQ(root->indexOfChild(child), i) << child->text(QAccessible::Name).toStdString();
        all += Walk(child);
    }
    return all;
}

class AccessibleWindow {
public:
    explicit AccessibleWindow(QWidget* window) : root_(QAccessible::queryAccessibleInterface(window)) {}

    // The one interface of that role and name.
    QAccessibleInterface* Find(QAccessible::Role role, const QString& name) const
    {
        QList<QAccessibleInterface*> found;
        for (QAccessibleInterface* node : Walk(root_)) {
            if (node->role() == role && node->text(QAccessible::Name) == name)
                found.append(node);
        }
        EXPECT_EQ(found.size(), 1) << name.toStdString();
        return found.value(0);
    }

    QStringList NamesOf(QAccessible::Role role) const
    {
        QStringList names;
        for (QAccessibleInterface* node : Walk(root_)) {
            if (node->role() == role)
                names.append(node->text(QAccessible::Name));
        }
        return names;
    }

private:
    QAccessibleInterface* root_;
};

void Press(QAccessibleInterface* node, const QString& action = QAccessibleActionInterface::pressAction())
{
    ASSERT_NE(node, nullptr);
    QAccessibleActionInterface* actions = node->actionInterface();
    ASSERT_NE(actions, nullptr);
    EXPECT_EQ(actions->actionNames().value(0), action);
    actions->doAction(action);
}

} // namespace

TEST_F(WindowTest, ScreenReadersFindEveryControlByRoleAndNameAndUseItsAction)
{
    TForm1& window = Open();
    const AccessibleWindow tree(&window);

    // Push buttons are named by their captions without the accelerator's "&".
    const QStringList buttons = tree.NamesOf(QAccessible::Button);
    for (const char* name : {"Refresh", "Open in RegEdit", "Remove Item from ARPCache", "Print List", "Show Key",
                             "Restore All", "Restore Checked", "<<  Delete this Undo List", "System menu",
                             "Minimize", "Maximize", "Close"})
        EXPECT_EQ(buttons.count(QString::fromUtf8(name)), 1) << name << " in " << buttons.join(u'|').toStdString();
    EXPECT_FALSE(buttons.contains(QString())) << "a nameless button";
    QAccessibleInterface* showKey = tree.Find(QAccessible::Button, QStringLiteral("Show Key"));
    EXPECT_EQ(showKey->text(QAccessible::Accelerator), QStringLiteral("Alt+K"));
    EXPECT_TRUE(showKey->state().focusable);
    EXPECT_TRUE(tree.Find(QAccessible::Button, QStringLiteral("<<  Delete this Undo List"))->state().disabled);
    Press(tree.Find(QAccessible::Button, QStringLiteral("Open in RegEdit")));
    EXPECT_EQ(LastMessage(), QStringLiteral("You must select an item from the list"));
    // The Undo page lies behind the list: its check box is disabled. A removal through
    // Remove's action then gives the Undo page entries to check.
    QAccessibleInterface* checkAll = tree.Find(QAccessible::CheckBox, QStringLiteral("Check / Uncheck All"));
    EXPECT_TRUE(checkAll->state().checkable);
    EXPECT_TRUE(checkAll->state().disabled);
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    table->setCurrentItem(table->topLevelItem(0));
    Press(tree.Find(QAccessible::Button, QStringLiteral("Remove Item from ARPCache")));
    WaitForChange();
    WaitForUndoList();

    // The page control is a list of page tabs, each holding its page.
    QAccessibleInterface* tabList = tree.Find(QAccessible::PageTabList, QString());
    ASSERT_EQ(tabList->childCount(), 5);
    QStringList tabs;
    for (int i = 0; i < 5; ++i)
        tabs.append(tabList->child(i)->text(QAccessible::Name));
    EXPECT_EQ(tabs, (QStringList{QStringLiteral("About Parvelle"), QStringLiteral("ARPCache List"),
                                 QStringLiteral("Other Programs"), QStringLiteral("Help"), QStringLiteral("Undo")}));
    QAccessibleInterface* listTab = tabList->child(1);
    QAccessibleInterface* undoTab = tabList->child(4);
    QAccessibleInterface* refresh = tree.Find(QAccessible::Button, QStringLiteral("Refresh"));
    EXPECT_EQ(refresh->parent()->parent(), listTab);
    EXPECT_TRUE(listTab->state().selected);
    EXPECT_FALSE(undoTab->state().selected);
    EXPECT_TRUE(undoTab->child(0)->state().offscreen);
    EXPECT_FALSE(undoTab->rect().isEmpty());
    EXPECT_EQ(tabList->childAt(undoTab->rect().center().x(), undoTab->rect().center().y()), undoTab);
    Press(undoTab);
    EXPECT_EQ(Find<TsuiPageControl>(QStringLiteral("suiPageControl1"))->ActivePage()->Caption(), QStringLiteral("Undo"));
    EXPECT_TRUE(undoTab->state().selected);
    EXPECT_FALSE(listTab->state().selected);
    EXPECT_FALSE(undoTab->child(0)->state().offscreen);
    EXPECT_TRUE(listTab->child(0)->state().offscreen);

    // The removal listed its entries on the Undo page, all checked; the check box unchecks them.
    EXPECT_FALSE(checkAll->state().disabled);
    EXPECT_TRUE(checkAll->state().checked);
    Press(checkAll, QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(Find<TsuiCheckBox>(QStringLiteral("suiCheckBox13"))->Checked());
    EXPECT_FALSE(checkAll->state().checked);

    // Links are read as links and followed through their action.
    const QStringList links = tree.NamesOf(QAccessible::Link);
    EXPECT_EQ(links.count(QStringLiteral("Click Here for More Info and Download")), 3);
    EXPECT_TRUE(links.contains(QStringLiteral("Parvelle documentation")));
    Press(tree.Find(QAccessible::Link, QStringLiteral("Parvelle documentation")));
    ASSERT_EQ(shell.targets.size(), 1u);
    EXPECT_TRUE(shell.targets[0].endsWith(QStringLiteral("index.html"))) << shell.targets[0].toStdString();

    // Rotated labels read their text.
    const QStringList labels = tree.NamesOf(QAccessible::StaticText);
    for (const char* text : {"Award Winning", "All Updates", "FREE", "Written by Skilled Programmers"})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;

    // The title bar's buttons, left to right; the maximise button says what it will do.
    QAccessibleInterface* titleBar = tree.Find(QAccessible::TitleBar, QStringLiteral("Parvelle"));
    QStringList titleButtons;
    for (int i = 0; i < titleBar->childCount(); ++i) {
        if (titleBar->child(i)->role() == QAccessible::Button)
            titleButtons.append(titleBar->child(i)->text(QAccessible::Name));
    }
    EXPECT_EQ(titleButtons, (QStringList{QStringLiteral("System menu"), QStringLiteral("Minimize"),
                                         QStringLiteral("Maximize"), QStringLiteral("Close")}));
    Press(tree.Find(QAccessible::Button, QStringLiteral("Maximize")));
    EXPECT_TRUE(window.isMaximized());
    Press(tree.Find(QAccessible::Button, QStringLiteral("Restore")));
    EXPECT_FALSE(window.isMaximized());
    Press(tree.Find(QAccessible::Button, QStringLiteral("Close")));
    EXPECT_FALSE(window.isVisible());

    // An image panel is a picture named by its caption; without a picture, a label.
    TsuiImagePanel panel;
    panel.SetCaption(QStringLiteral(" Logo "));
    QAccessibleInterface* image = QAccessible::queryAccessibleInterface(&panel);
    EXPECT_EQ(image->role(), QAccessible::StaticText);
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    panel.SetPicture(picture);
    EXPECT_EQ(image->role(), QAccessible::Graphic);
    EXPECT_EQ(image->text(QAccessible::Name), QStringLiteral("Logo"));
    ASSERT_NE(image->imageInterface(), nullptr);
    EXPECT_EQ(image->imageInterface()->imageSize(), QSize(24, 16));

    // A scroll bar is named by its orientation and read and set as a value; its track is a
    // slider, the thumb part of it.
    TsuiScrollBar bar;
    bar.resize(17, 200);
    bar.SetOrientation(suiVertical);
    bar.SetMin(10);
    bar.SetMax(60);
    bar.SetSmallChange(5);
    bar.SetPosition(20);
    QAccessibleInterface* scroll = QAccessible::queryAccessibleInterface(&bar);
    EXPECT_EQ(scroll->role(), QAccessible::ScrollBar);
    EXPECT_EQ(scroll->text(QAccessible::Name), QStringLiteral("Vertical"));
    EXPECT_EQ(scroll->text(QAccessible::Value), QStringLiteral("20"));
    const QList<QAccessibleInterface*> parts = Walk(scroll);
    ASSERT_EQ(parts.size(), 2);
    QAccessibleInterface* slider = parts[1];
    EXPECT_EQ(slider->role(), QAccessible::Slider);
    EXPECT_EQ(slider->text(QAccessible::Name), QStringLiteral("Position"));
    EXPECT_TRUE(slider->state().focusable);
    for (QAccessibleInterface* range : parts) {
        QAccessibleValueInterface* value = range->valueInterface();
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->minimumValue().toInt(), 10);
        EXPECT_EQ(value->maximumValue().toInt(), 60);
        EXPECT_EQ(value->currentValue().toInt(), bar.Position());
    }
    EXPECT_EQ(scroll->valueInterface()->minimumStepSize().toInt(), 5);
    EXPECT_EQ(slider->valueInterface()->minimumStepSize().toInt(), bar.Track().LineSize());
    scroll->valueInterface()->setCurrentValue(35);
    EXPECT_EQ(bar.Position(), 35);
    slider->valueInterface()->setCurrentValue(99);
    EXPECT_EQ(bar.Position(), 60);
    bar.setEnabled(false);
    EXPECT_TRUE(scroll->state().disabled);
    EXPECT_TRUE(slider->state().disabled);
    scroll->valueInterface()->setCurrentValue(15);
    EXPECT_EQ(bar.Position(), 60);
}

// Tab visits every control of each page (an undo list loaded, so that the Undo page's
// controls are enabled, Show Key waiting for a chosen entry); each shows that it has the focus.
TEST_F(WindowTest, EveryControlTabReachesShowsItsFocus)
{
    TForm1& window = Open();
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    table->setCurrentItem(table->topLevelItem(0));
    Click(QStringLiteral("suiButton3"));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* pages = Find<TsuiPageControl>(QStringLiteral("suiPageControl1"));
    QStringList visited;
    for (int index = 0; index < pages->PageCount(); ++index) {
        pages->ActivatePageIndex(index);
        TsuiTabSheet* page = pages->Page(index);
        for (int step = 0; step < 20; ++step) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            if (!focused || !page->isAncestorOf(focused) || visited.contains(focused->objectName()))
                continue;
            visited.append(focused->objectName());
            const QImage withFocus = focused->grab().toImage();
            focused->clearFocus();
            const QImage withoutFocus = focused->grab().toImage();
            focused->setFocus(Qt::TabFocusReason);
            EXPECT_NE(withFocus, withoutFocus) << "no focus shown on " << focused->objectName().toStdString();
        }
    }
    for (const char* name : {"Image1", "Label22", "suiListView1", "suiButton1", "suiButton2", "suiButton3", "Label26",
                             "Label27", "Label28", "ScrollBox1", "suiCheckBox13", "CheckListBox1", "Button2", "Button12",
                             "Button1", "ComboBox2", "Button3"})
        EXPECT_TRUE(visited.contains(QString::fromUtf8(name))) << name << " not reached by Tab";
}
