// The skinned form frame and title bar, on forms rendered off-screen.
#include "skin/ErrorDialog.h"
#include "skin/FormFrame.h"
#include "skin/FrameHitTest.h"
#include "skin/ImagePanel.h"
#include "skin/ThemeManager.h"
#include "ThemeTestSupport.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFrame>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace parvelle;
using skintest::PixelAt;

namespace {

// A form that records close requests.
class Form : public QWidget {
public:
    int closeRequests = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++closeRequests;
        QWidget::closeEvent(event);
    }
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        skintest::EnsureApplication();
        QCursor::setPos(-5000, -5000);   // over no button
        previousDialog = SetErrorDialogHandler([this](const QString& text) { dialogs << text; });
        form = std::make_unique<Form>();
        form->setWindowTitle("Parvelle");
        form->setGeometry(100, 80, 685, 422);
        frame = new TsuiForm(form.get());
        frame->setObjectName("suiForm1");
    }
    void TearDown() override { SetErrorDialogHandler(previousDialog); }

    // The main window's frame: WinXP with the application icon.
    void MakeWinXP()
    {
        frame->SetUIStyle(WinXP);
        frame->SetTitleBarDrawAppIcon(true);
    }

    QImage Shot(QWidget* widget) const
    {
        return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QImage TitleButtonSlice(int index) const
    {
        QImage slice;
        LoadBuiltInThemeBitmap(WinXP, ThemeItem::TitleBarButtonImage, slice, index, 18);
        return slice.convertToFormat(QImage::Format_RGB32);
    }

    void ExpectBlock(const QImage& shot, QPoint at, const QImage& expected) const
    {
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x)
                ASSERT_EQ(shot.pixel(at.x() + x, at.y() + y), expected.pixel(x, y))
                    << "at " << at.x() + x << "," << at.y() + y;
    }

    QStringList dialogs;
    ErrorDialogHandler previousDialog;
    std::unique_ptr<Form> form;
    TsuiForm* frame = nullptr;
};

} // namespace

TEST_F(FrameTest, WinXPFrameStripsAndTitleBarGeometry)
{
    MakeWinXP();
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(frame->geometry(), QRect(3, 0, 679, 419));
    const QImage shot = Shot(form.get());
    for (QPoint p : {QPoint(0, 100), QPoint(2, 421), QPoint(300, 419), QPoint(682, 50), QPoint(684, 421)})
        EXPECT_EQ(PixelAt(shot, p.x(), p.y()), 0xC82C00u) << p.x() << "," << p.y();
    EXPECT_NE(PixelAt(shot, 3, 418), 0xC82C00u);   // the frame's own client area

    TsuiTitleBar* bar = frame->TitleBar();
    EXPECT_EQ(bar->geometry(), QRect(0, 0, 679, 29));
    const int W = bar->width();
    const TitleBarLayout layout = bar->Arrange(W);
    EXPECT_EQ(layout.buttons[1], QRect(W - 23, 5, 21, 21));   // close
    EXPECT_EQ(layout.buttons[2], QRect(W - 45, 5, 21, 21));   // maximise
    EXPECT_EQ(layout.buttons[3], QRect(W - 67, 5, 21, 21));   // minimise
    EXPECT_EQ(layout.icon, QRect(5, 5, 16, 16));
    EXPECT_EQ(layout.captionLeft, 23);

    const QImage title = Shot(bar);
    ExpectBlock(title, {W - 23, 5}, TitleButtonSlice(16));
    ExpectBlock(title, {W - 45, 5}, TitleButtonSlice(7));
    ExpectBlock(title, {W - 67, 5}, TitleButtonSlice(13));
}

TEST_F(FrameTest, TitleBarSectionsFillTheBarFromTheThemeBitmaps)
{
    MakeWinXP();
    QImage left, client, right;
    LoadBuiltInThemeBitmap(WinXP, ThemeItem::TitleBarLeftImage, left);
    LoadBuiltInThemeBitmap(WinXP, ThemeItem::TitleBarClientImage, client);
    LoadBuiltInThemeBitmap(WinXP, ThemeItem::TitleBarRightImage, right);
    frame->SetTitleBarDrawAppIcon(false);
    frame->SetCaption(QString());
    for (TsuiTitleBarButton* button : frame->TitleBarButtons()->List())
        button->SetVisible(false);
    const QImage title = Shot(frame->TitleBar());
    const int W = title.width();
    ExpectBlock(title, {0, 0}, left.convertToFormat(QImage::Format_RGB32));
    ExpectBlock(title, {W - 35, 0}, right.convertToFormat(QImage::Format_RGB32));
    // The middle stretches the client picture: its first column lands right after the left end.
    EXPECT_EQ(PixelAt(title, 35, 10), PixelAt(client.convertToFormat(QImage::Format_RGB32), 0, 10));
}

TEST_F(FrameTest, WritingHeightGrowsByHalfTheBorderWidth)
{
    MakeWinXP();
    frame->SetHeight(419);
    EXPECT_EQ(form->height(), 423);
    EXPECT_EQ(frame->Height(), 420);
    frame->SetHeight(frame->Height());
    EXPECT_EQ(form->height(), 424);
    frame->SetWidth(600);
    EXPECT_EQ(form->width(), 606);
    EXPECT_EQ(frame->Width(), 600);
    // Reached by name, as stored designs and the theme manager do, not QWidget's width.
    SetPublishedProperty(frame, "Width", 500);
    EXPECT_EQ(form->width(), 506);
    EXPECT_EQ(GetPublishedProperty(frame, "Height").toInt(), 421);
}

TEST_F(FrameTest, ThemeManagerRestylesTheFrameByName)
{
    TsuiThemeManager manager(form.get());
    manager.SetCompList({"suiForm1"});
    manager.SetUIStyle(WinXP);
    EXPECT_EQ(frame->UIStyle(), WinXP);
    EXPECT_EQ(frame->BorderColor(), 0xC82C00u);
    EXPECT_EQ(frame->BorderWidth(), 3);
    EXPECT_EQ(frame->Color(), 0xDEEBEFu);
    EXPECT_EQ(frame->MenuBarColor(), 0xDEEBEFu);
    EXPECT_EQ(form->minimumWidth(), 150);
    EXPECT_EQ(frame->RoundCorner(), 13);
    EXPECT_EQ(frame->TitleBar()->FontColor(), clWhite);
    EXPECT_EQ(form->size(), QSize(685, 422));   // a style change keeps the form's size
    manager.SetUIStyle(MacOS);
    EXPECT_EQ(frame->TitleBar()->FontColor(), clBlack);
}

TEST(FrameHitTest, ZonesAlongTheEdgesOfASizeableForm)
{
    const QPoint origin(100, 50);
    const QSize client(685, 422);
    auto at = [&](int x, int y) { return FormHitTest(origin + QPoint(x, y), origin, client, true, false, HTCLIENT); };
    EXPECT_EQ(at(2, 100), HTLEFT);
    EXPECT_EQ(at(2, 2), HTTOPLEFT);
    EXPECT_EQ(at(682, 422 - 3), HTBOTTOMRIGHT);
    EXPECT_EQ(at(682, 2), HTTOPRIGHT);
    EXPECT_EQ(at(2, 420), HTBOTTOMLEFT);
    EXPECT_EQ(at(300, 3), HTTOP);
    EXPECT_EQ(at(681, 200), HTRIGHT);
    EXPECT_EQ(at(300, 418), HTBOTTOM);
    EXPECT_EQ(at(300, 200), HTCLIENT);
    EXPECT_EQ(at(5, 100), HTCLIENT);
    EXPECT_EQ(FormHitTest(origin + QPoint(2, 100), origin, client, true, true, HTCLIENT), HTCLIENT);
    EXPECT_EQ(FormHitTest(origin + QPoint(2, 100), origin, client, false, false, HTCLIENT), HTCLIENT);
    // A screen left of the primary one.
    const QPoint left(-1600, 200);
    EXPECT_EQ(FormHitTest(left + QPoint(2, 100), left, client, true, false, HTCLIENT), HTLEFT);
    EXPECT_EQ(FormHitTest(left + QPoint(682, 419), left, client, true, false, HTCLIENT), HTBOTTOMRIGHT);
    EXPECT_EQ(FormHitTest(left + QPoint(300, 200), left, client, true, false, HTCLIENT), HTCLIENT);

    EXPECT_EQ(TitleBarHitTest({300, 3}, 685, true, false, HTCLIENT), HTTOP);
    EXPECT_EQ(TitleBarHitTest({2, 2}, 685, true, false, HTCLIENT), HTTOPLEFT);
    EXPECT_EQ(TitleBarHitTest({300, 5}, 685, true, false, HTCLIENT), HTCLIENT);
    EXPECT_EQ(TitleBarHitTest({300, 3}, 685, true, true, HTCLIENT), HTCLIENT);
    EXPECT_EQ(TitleBarHitTest({300, 3}, 685, false, false, HTCLIENT), HTCLIENT);

    EXPECT_EQ(HitTestEdges(HTBOTTOMRIGHT), Qt::BottomEdge | Qt::RightEdge);
    EXPECT_EQ(HitTestEdges(HTCLIENT), Qt::Edges());
    EXPECT_EQ(HitTestCursor(HTTOPRIGHT), Qt::SizeBDiagCursor);
}

TEST_F(FrameTest, FrameHitTestFollowsTheFormOnAScreenLeftOfThePrimary)
{
    MakeWinXP();
    form->move(-1600, 200);
    EXPECT_EQ(frame->HitTest(QPoint(-1598, 300)), HTLEFT);
    EXPECT_EQ(frame->HitTest(QPoint(-1600 + 682, 200 + 419)), HTBOTTOMRIGHT);
    EXPECT_EQ(frame->HitTest(QPoint(-1300, 400)), HTCLIENT);
}

TEST(TitleCaption, EllipsisWhenTooWideNothingWhenNotEvenTheDotsFit)
{
    skintest::EnsureApplication();
    const QFontMetrics metrics(QFont("DejaVu Sans", 9));
    const QString caption = "Parvelle - ARPCache viewer";
    const int full = metrics.horizontalAdvance(caption);
    EXPECT_EQ(FitCaption(caption, metrics, full), caption);
    const QString cut = FitCaption(caption, metrics, full / 2);
    EXPECT_TRUE(cut.endsWith("...")) << cut.toStdString();
    EXPECT_TRUE(caption.startsWith(cut.chopped(3)));
    EXPECT_LE(metrics.horizontalAdvance(cut), full / 2);
    EXPECT_GT(metrics.horizontalAdvance(cut + "W"), full / 2 - metrics.horizontalAdvance("W"));
    EXPECT_EQ(FitCaption(caption, metrics, metrics.horizontalAdvance("...")), "...");
    EXPECT_EQ(FitCaption(caption, metrics, metrics.horizontalAdvance("...") - 1), QString());
    EXPECT_EQ(FitCaption(caption, metrics, -40), QString());
    // Characters beyond the basic plane are removed whole.
    const QString wide = QString::fromUtf8("ab\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80");
    const QString wideCut = FitCaption(wide, metrics, metrics.horizontalAdvance(wide) - 1);
    EXPECT_FALSE(wideCut.chopped(3).back().isHighSurrogate());
}

TEST_F(FrameTest, InactiveCaptionColourAndUnchangedButtons)
{
    MakeWinXP();
    frame->SetCaption("Parvelle");
    TsuiTitleBar* bar = frame->TitleBar();
    const int W = bar->width();
    auto count = [](const QImage& shot, TColor color) {
        int n = 0;
        for (int y = 0; y < 29; ++y)
            for (int x = 23; x < 200; ++x)
                n += PixelAt(shot, x, y) == color;
        return n;
    };
    const QImage active = Shot(bar);
    bar->SetFormActive(false);
    const QImage inactive = Shot(bar);
    EXPECT_GT(count(active, clWhite), 10);
    EXPECT_EQ(count(active, kInactiveCaptionColor), 0);
    EXPECT_GT(count(inactive, kInactiveCaptionColor), 10);
    EXPECT_EQ(count(inactive, clWhite), 0);
    EXPECT_EQ(active.copy(W - 67, 5, 67, 21), inactive.copy(W - 67, 5, 67, 21));
}

TEST_F(FrameTest, FormActivationDrivesTheCaptionState)
{
    MakeWinXP();
    form->show();
    QWidget other;
    other.show();
    QApplication::setActiveWindow(form.get());
    EXPECT_TRUE(frame->TitleBar()->FormActive());
    QApplication::setActiveWindow(&other);
    EXPECT_FALSE(frame->TitleBar()->FormActive());
    QApplication::setActiveWindow(form.get());
    EXPECT_TRUE(frame->TitleBar()->FormActive());
}

TEST_F(FrameTest, CustomTitleBarKeepsSectionsAndPicturesAcrossStyleChanges)
{
    MakeWinXP();
    TsuiTitleBarSections mine;
    TsuiTitleBarSection* only = mine.Add();
    only->SetPicture(skintest::FilledImage(40, 29, 0x0000FF));
    only->SetAutoSize(true);
    frame->SetTitleBarSections(&mine);
    const QImage closePicture = skintest::FilledImage(21, 21, 0x00FF00);
    frame->TitleBarButtons()->Items(1)->SetPicNormal(closePicture);
    frame->SetTitleBarCustom(true);
    frame->SetUIStyle(MacOS);
    ASSERT_EQ(frame->TitleBarSections()->Count(), 1);
    EXPECT_EQ(frame->TitleBarSections()->Items(0)->Width(), 40);
    EXPECT_EQ(frame->TitleBarSections()->Items(0)->Picture(), only->Picture());
    EXPECT_EQ(frame->TitleBarButtons()->Items(1)->PicNormal(), closePicture);

    frame->SetTitleBarCustom(false);
    frame->SetUIStyle(MacOS);
    EXPECT_EQ(frame->TitleBarSections()->Count(), 3);
    EXPECT_NE(frame->TitleBarButtons()->Items(1)->PicNormal(), closePicture);
}

TEST_F(FrameTest, ErrorDialogsRefuseASecondClientSectionControlBoxOrTheFrameAsPanel)
{
    TsuiTitleBarSections* sections = frame->TitleBarSections();
    ASSERT_EQ(sections->Items(2)->Align(), suiClient);
    sections->Items(2)->SetAlign(suiClient);   // this one already is: refused as well
    sections->Items(0)->SetAlign(suiClient);
    EXPECT_EQ(sections->Items(0)->Align(), suiLeft);

    TsuiTitleBarButtons* buttons = frame->TitleBarButtons();
    buttons->Items(3)->SetButtonType(suiControlBox);
    EXPECT_EQ(buttons->Items(3)->ButtonType(), suiMin);

    frame->SetFormPanel(frame);
    EXPECT_EQ(frame->FormPanel(), nullptr);
    EXPECT_EQ(dialogs, QStringList({"Sorry, only one section's Align property can be \"suiClient\"",
                                    "Sorry, only one section's Align property can be \"suiClient\"",
                                    "Sorry, only one button's ButtonType property can be \"suiControlBox\"",
                                    "Sorry, you can't select the Form assign to FormPanel property"}));
}

TEST_F(FrameTest, ASecondFrameOnOneFormIsRefused)
{
    try {
        new TsuiForm(form.get());
        FAIL() << "a second frame was created";
    } catch (const ESkinError& error) {
        EXPECT_EQ(error.message(), "Sorry, You can create only one TsuiForm component in one form!");
    }
    EXPECT_EQ(form->findChildren<TsuiForm*>().size(), 1);
}

TEST_F(FrameTest, DoubleClickOnTheEmptyTitleBarTogglesMaximiseToTheWorkArea)
{
    MakeWinXP();
    form->show();
    const QRect normal = form->geometry();
    TsuiTitleBar* bar = frame->TitleBar();
    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(300, 15));
    EXPECT_TRUE(form->isMaximized());
    const QRect workArea = form->screen()->availableGeometry();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->geometry() == workArea; }, 2000));
    EXPECT_EQ(frame->geometry(), QRect(3, 0, workArea.width() - 6, workArea.height() - 3));
    EXPECT_EQ(bar->Buttons()->Items(2)->PicNormal(), TitleButtonSlice(10).convertToFormat(bar->Buttons()->Items(2)->PicNormal().format()));
    EXPECT_EQ(frame->HitTest(form->mapToGlobal(QPoint(2, 100))), HTCLIENT);   // no zones
    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(300, 15));
    EXPECT_FALSE(form->isMaximized());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->geometry() == normal; }, 2000));
    EXPECT_EQ(bar->Buttons()->Items(2)->PicNormal(), TitleButtonSlice(7).convertToFormat(bar->Buttons()->Items(2)->PicNormal().format()));
}

TEST_F(FrameTest, ADragOnTheTitleBarMovesTheFormWithThePointerFromItsFirstMotion)
{
    MakeWinXP();
    form->show();
    TsuiTitleBar* bar = frame->TitleBar();
    const QPoint start = form->pos();   // off screen no window manager moves it: the form itself does
    const auto send = [bar](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, bar->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    };
    send(QEvent::MouseButtonPress, QPoint(300, 15), Qt::LeftButton);
    send(QEvent::MouseMove, QPoint(330, 27), Qt::LeftButton);
    EXPECT_EQ(form->pos(), start + QPoint(30, 12));
    send(QEvent::MouseMove, QPoint(300, 15) + QPoint(40, 12), Qt::LeftButton);   // the bar moved along
    EXPECT_EQ(form->pos(), start + QPoint(70, 24));
    send(QEvent::MouseButtonRelease, QPoint(300, 15), Qt::NoButton);
    send(QEvent::MouseMove, QPoint(320, 15), Qt::NoButton);
    EXPECT_EQ(form->pos(), start + QPoint(70, 24));
}

TEST_F(FrameTest, ButtonsCloseMinimiseAndSignalTheirClicks)
{
    MakeWinXP();
    form->show();
    TsuiTitleBar* bar = frame->TitleBar();
    TsuiTitleBarButton* help = bar->Buttons()->Add();
    help->SetButtonType(suiHelp);
    TsuiTitleBarButton* custom = bar->Buttons()->Add();
    custom->SetPicNormal(skintest::FilledImage(16, 16, 0xFF0000));
    QList<int> helpClicks, customClicks;
    QObject::connect(frame, &TsuiForm::OnTitleBarHelpBtnClick, [&](QObject*, int i) { helpClicks << i; });
    QObject::connect(frame, &TsuiForm::OnTitleBarCustomBtnsClick, [&](QObject*, int i) { customClicks << i; });
    const TitleBarLayout layout = bar->Arrange(bar->width());
    // The close button shows the pointer over it and the press, as the mouse left them.
    const QRect close = layout.buttons[1];
    const auto send = [bar](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, bar->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    };
    send(QEvent::MouseMove, close.center(), Qt::NoButton);
    ExpectBlock(Shot(bar), close.topLeft(), TitleButtonSlice(17));
    send(QEvent::MouseButtonPress, close.center(), Qt::LeftButton);
    ExpectBlock(Shot(bar), close.topLeft(), TitleButtonSlice(18));
    send(QEvent::MouseMove, QPoint(300, 15), Qt::LeftButton);
    ExpectBlock(Shot(bar), close.topLeft(), TitleButtonSlice(16));
    send(QEvent::MouseButtonRelease, QPoint(300, 15), Qt::NoButton);
    EXPECT_EQ(form->closeRequests, 0);   // released beside it

    QTest::mouseClick(bar, Qt::LeftButton, {}, layout.buttons[4].center());
    QTest::mouseClick(bar, Qt::LeftButton, {}, layout.buttons[5].center());
    EXPECT_EQ(helpClicks, QList<int>{4});
    EXPECT_EQ(customClicks, QList<int>{5});

    QTest::mouseClick(bar, Qt::LeftButton, {}, layout.buttons[3].center());
    EXPECT_TRUE(form->isMinimized());
    form->showNormal();
    QTest::mouseClick(bar, Qt::LeftButton, {}, layout.buttons[1].center());
    EXPECT_EQ(form->closeRequests, 1);
}

TEST_F(FrameTest, DoubleClickOnTheIconClosesAndAltSpaceOpensTheSystemMenu)
{
    MakeWinXP();
    form->show();
    TsuiTitleBar* bar = frame->TitleBar();
    QTest::keyClick(form.get(), Qt::Key_Space, Qt::AltModifier);
    TsuiTitleBarPopupMenu* menu = bar->SystemMenu();
    ASSERT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->pos(), QPoint(form->x(), form->y() + 29));
    menu->hide();

    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(form->closeRequests, 1);
}

TEST_F(FrameTest, ClickOnTheControlBoxOpensTheSystemMenuBelowTheTitleBar)
{
    MakeWinXP();
    form->show();
    TsuiTitleBar* bar = frame->TitleBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(10, 10));
    TsuiTitleBarPopupMenu* menu = bar->SystemMenu();
    EXPECT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000));
    EXPECT_EQ(menu->pos(), bar->mapToGlobal(QPoint(0, 29)));
    menu->hide();
}

TEST_F(FrameTest, RoundedTopCornersFollowEveryResize)
{
    const QRegion region = RoundedTopRegion(QSize(200, 100), 13);
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(1, 1)));
    EXPECT_FALSE(region.contains(QPoint(199, 0)));
    EXPECT_TRUE(region.contains(QPoint(100, 0)));
    EXPECT_TRUE(region.contains(QPoint(0, 7)));
    EXPECT_TRUE(region.contains(QPoint(0, 99)));
    EXPECT_TRUE(region.contains(QPoint(199, 99)));
    EXPECT_EQ(RoundedTopRegion(QSize(200, 100), 0), QRegion(0, 0, 200, 100));

    MakeWinXP();
    form->show();
    EXPECT_EQ(form->mask(), RoundedTopRegion(form->size(), 13));
    form->resize(500, 300);
    EXPECT_EQ(form->mask(), RoundedTopRegion(QSize(500, 300), 13));
    EXPECT_EQ(frame->geometry(), QRect(3, 0, 494, 297));

    // Nothing of the frame is painted where the shape cuts the corners off (a translucent
    // window shows them through).
    QImage painted(form->size(), QImage::Format_ARGB32);
    painted.fill(Qt::transparent);
    for (QWidget* child : form->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        child->render(&painted, child->pos());
    for (const QPoint cut : {QPoint(0, 0), QPoint(3, 0), QPoint(1, 1), QPoint(499, 0)})
        EXPECT_EQ(qAlpha(painted.pixel(cut)), 0) << cut.x() << "," << cut.y();
    for (const QPoint kept : {QPoint(0, 7), QPoint(250, 0), QPoint(499, 299)})
        EXPECT_EQ(qAlpha(painted.pixel(kept)), 255) << kept.x() << "," << kept.y();
}

TEST_F(FrameTest, FormPanelFillsTheFrameBelowTheTitleBarAndIsForgottenWhenRemoved)
{
    MakeWinXP();
    auto* panel = new QFrame(frame);
    panel->setFrameShape(QFrame::Box);
    frame->SetFormPanel(panel);
    EXPECT_EQ(panel->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(panel->geometry(), QRect(0, 29, 679, 390));
    frame->SetTitleBarVisible(false);
    EXPECT_EQ(frame->geometry(), QRect(3, 3, 679, 416));
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 679, 416));
    const QImage shot = Shot(form.get());
    EXPECT_EQ(PixelAt(shot, 300, 2), 0xC82C00u);   // the top strip shows with the title bar hidden
    delete panel;
    EXPECT_EQ(frame->FormPanel(), nullptr);

    auto* imagePanel = new TsuiImagePanel(frame);
    imagePanel->SetCaption("Panel");
    frame->SetFormPanel(imagePanel);
    EXPECT_EQ(imagePanel->Caption(), QString());
}

TEST_F(FrameTest, RemovedFileThemeFallsBackToDeepBlue)
{
    auto* theme = new TsuiFileTheme(form.get());
    frame->SetFileTheme(theme);
    frame->SetUIStyle(WinXP);
    delete theme;
    EXPECT_EQ(frame->FileTheme(), nullptr);
    EXPECT_EQ(frame->UIStyle(), DeepBlue);
    EXPECT_EQ(frame->TitleBar()->FileTheme(), nullptr);
    EXPECT_EQ(frame->BorderColor(), 0x000000u);
}

TEST_F(FrameTest, MacOSAndProteinTileTheFormBackground)
{
    for (auto [style, name] : {std::pair{MacOS, "MACOS_FORM_BACKGROUND"}, std::pair{Protein, "PROTEIN_FORM_BACKGROUND"}}) {
        frame->SetUIStyle(style);
        const QImage tile = LoadSkinBitmap(name).convertToFormat(QImage::Format_RGB32);
        const QImage shot = Shot(frame);
        for (QPoint p : {QPoint(9, 40), QPoint(100, 203), QPoint(17, 66)})
            EXPECT_EQ(shot.pixel(p), tile.pixel(p.x() % 8, p.y() % 8)) << name;
    }
    frame->SetUIStyle(BlueGlass);
    EXPECT_EQ(PixelAt(Shot(frame), 100, 203), 0xE7E7E7u);
}

TEST_F(FrameTest, CursorShapeFollowsTheResizeZones)
{
    MakeWinXP();
    form->show();
    auto moveOver = [](QWidget* widget, QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    };
    moveOver(form.get(), {1, 200});
    EXPECT_EQ(form->cursor().shape(), Qt::SizeHorCursor);
    moveOver(form.get(), {683, 420});
    EXPECT_EQ(form->cursor().shape(), Qt::SizeFDiagCursor);
    moveOver(form.get(), {300, 421});
    EXPECT_EQ(form->cursor().shape(), Qt::SizeVerCursor);

    TsuiTitleBar* bar = frame->TitleBar();
    moveOver(bar, {300, 2});
    EXPECT_EQ(bar->cursor().shape(), Qt::SizeVerCursor);
    moveOver(bar, {300, 12});
    EXPECT_EQ(bar->cursor().shape(), Qt::ArrowCursor);
    form->showMaximized();
    moveOver(bar, {300, 2});
    EXPECT_EQ(bar->cursor().shape(), Qt::ArrowCursor);   // no zones while maximised
}
