// Showing a key in the registry editor window by typing into its tree.
#include "WindowFixture.h"

#include "cache/OSInfo.h"
#include "registry/TNTRegistry.h"

#include <QFile>
#include <QKeyEvent>
#include <QListView>
#include <QStatusBar>
#include <QTreeWidget>

using namespace parvelle;
using namespace parvelle::test;

namespace {
const QString kCacheKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache");

// Records the keys and characters that reach the tree, in order.
class KeyRecorder : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Left)
                sequence.append(QLatin1Char('<'));
            else if (key->key() == Qt::Key_Right)
                sequence.append(QLatin1Char('>'));
            else
                sequence.append(key->text());
        }
        return false;
    }
    QString sequence;
};

class RegEditTest : public WindowTest {
protected:
    TForm1& OpenRecording()
    {
        return Open([this](Machine& machine) -> QWidget* {
            auto* editor = new RegEditWindow(machine);
            editor->setAttribute(Qt::WA_DontShowOnScreen);
            editor->Tree()->installEventFilter(&recorder);
            ++made;
            return editor;
        });
    }
    RegEditWindow* Editor() const { return static_cast<RegEditWindow*>(FindWindow(kRegEditClass)); }

    KeyRecorder recorder;
    int made = 0;
};
} // namespace

TEST_F(RegEditTest, SendsThirtyOneLeftsThenOneRightPerBackslashAndTheCharacters)
{
    OpenRecording();
    const QString path = kCacheKey + QStringLiteral("\\BetaTool");   // 7 backslashes
    form->OpenRegEdit(path);
    ASSERT_EQ(made, 1);
    const QString sent = recorder.sequence;
    EXPECT_EQ(sent.left(31), QString(31, QLatin1Char('<')));
    EXPECT_EQ(sent.count(QLatin1Char('<')), 31);
    EXPECT_EQ(sent.count(QLatin1Char('>')), path.count(QLatin1Char('\\')) + 1);
    QString typed = path;
    typed.replace(QLatin1Char('\\'), QLatin1Char('>'));
    EXPECT_EQ(sent.mid(31), QStringLiteral(">") + typed);

    EXPECT_EQ(Editor()->Tree()->CurrentKeyPath(), path);
    EXPECT_FALSE(Editor()->Values()->findItems(QStringLiteral("SlowInfoCache"), Qt::MatchExactly, 0).isEmpty());

    // The panes take the window's height, the status bar one line.
    const QStatusBar* status = Editor()->StatusBar();
    EXPECT_LE(status->height(), 2 * status->fontMetrics().height());
    EXPECT_EQ(Editor()->Tree()->height() + status->height(), Editor()->height());
}

TEST_F(RegEditTest, OpenInRegEditSelectsTheEntryAlsoWhenTheEditorShowsAnotherDeepKey)
{
    OpenRecording();
    form->OpenRegEdit(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"));
    ASSERT_EQ(Editor()->Tree()->CurrentKeyPath(),
              QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"));
    recorder.sequence.clear();

    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    table->setCurrentItem(table->findItems(QStringLiteral("GammaSuite"), Qt::MatchExactly, 0).first());
    Click(QStringLiteral("suiButton2"));
    EXPECT_EQ(made, 1);   // the open editor is reused
    EXPECT_EQ(recorder.sequence.count(QLatin1Char('<')), 31);
    EXPECT_EQ(Editor()->Tree()->CurrentKeyPath(), kCacheKey + QStringLiteral("\\GammaSuite"));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RegEditTest, ShowKeyOfAValueEntrySendsItLikeAnyText)
{
    QFile undo(registry.undoFolder() + QStringLiteral("/20210101-000000.reg"));
    ASSERT_TRUE(undo.open(QIODevice::WriteOnly));
    undo.write("REGEDIT4\r\n\r\n[" + kCacheKey.toUtf8() + "\\BetaTool]\r\n\"Changed\"=dword:00000000\r\n");
    undo.close();
    OpenRecording();
    ShowPage(4);
    auto* list = Find<QListView>(QStringLiteral("CheckListBox1"));
    ASSERT_EQ(list->model()->rowCount(), 1);
    list->setCurrentIndex(list->model()->index(0, 0));
    const QString entry = ListItems(list).value(0);
    ASSERT_EQ(entry, kCacheKey + QStringLiteral("\\BetaTool\\\\:\"Changed\""));
    Click(QStringLiteral("Button5"));
    EXPECT_EQ(recorder.sequence.count(QLatin1Char('>')), entry.count(QLatin1Char('\\')) + 1);
    EXPECT_TRUE(recorder.sequence.endsWith(QStringLiteral(">>:\"Changed\"")));
    // The value's name finds no key: the entry's key stays selected with its values.
    EXPECT_EQ(Editor()->Tree()->CurrentKeyPath(), kCacheKey + QStringLiteral("\\BetaTool"));
    EXPECT_FALSE(Editor()->Values()->findItems(QStringLiteral("Changed"), Qt::MatchExactly, 0).isEmpty());
}

TEST_F(RegEditTest, AnEditorThatCannotBeMadeIsReported)
{
    Open([](Machine&) -> QWidget* { return nullptr; });
    form->OpenRegEdit(kCacheKey);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Unable to open Regedit."));
}

TEST_F(RegEditTest, TreeKeysBehaveLikeTheWindowsTree)
{
    OpenRecording();
    form->OpenRegEdit(kCacheKey + QStringLiteral("\\AlphaApp"));
    RegTree* tree = Editor()->Tree();
    auto press = [tree](int key, const QString& text = {}) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(tree, &event);
    };
    press(Qt::Key_Left);   // AlphaApp is collapsed: go to ARPCache
    EXPECT_EQ(tree->CurrentKeyPath(), kCacheKey);
    press(Qt::Key_Left);   // ARPCache is expanded: collapse it, stay
    EXPECT_EQ(tree->CurrentKeyPath(), kCacheKey);
    EXPECT_FALSE(tree->currentItem()->isExpanded());
    press(Qt::Key_Right);  // expand
    EXPECT_TRUE(tree->currentItem()->isExpanded());
    EXPECT_EQ(tree->CurrentKeyPath(), kCacheKey);
    press(Qt::Key_Right);  // expanded: first child
    EXPECT_EQ(tree->CurrentKeyPath(), kCacheKey + QStringLiteral("\\AlphaApp"));
    press(0, QStringLiteral("g"));   // incremental search, letter case ignored
    EXPECT_EQ(tree->CurrentKeyPath(), kCacheKey + QStringLiteral("\\GammaSuite"));
    press(0, QStringLiteral("x"));   // "gx" matches nothing: stays
    EXPECT_EQ(tree->CurrentKeyPath(), kCacheKey + QStringLiteral("\\GammaSuite"));
    press(Qt::Key_Left);             // a non-character key starts a new search
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    press(0, QStringLiteral("B"));
    EXPECT_EQ(tree->CurrentKeyPath(), kCacheKey + QStringLiteral("\\BetaTool"));
}

TEST_F(RegEditTest, ExpandingRereadsTheRegistry)
{
    OpenRecording();
    form->OpenRegEdit(kCacheKey + QStringLiteral("\\AlphaApp"));
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    table->setCurrentItem(table->findItems(QStringLiteral("AlphaApp"), Qt::MatchExactly, 0).first());
    Click(QStringLiteral("suiButton3"));
    form->OpenRegEdit(kCacheKey + QStringLiteral("\\BetaTool"));
    QTreeWidgetItem* cache = Editor()->Tree()->currentItem()->parent();
    ASSERT_EQ(cache->childCount(), 2);
    EXPECT_EQ(cache->child(0)->text(0), QStringLiteral("BetaTool"));
}

TEST_F(RegEditTest, NamesBeyondTheBasicPlaneAreTypedWholeCharacterByCharacter)
{
    const QString smile = QString::fromUtf8("Smile \U0001F600 One");
    const QString grin = QString::fromUtf8("Smile \U0001F603 Two");
    TNTRegistry reg(registry.machine());
    reg.SelectRoot(HKEY_LOCAL_MACHINE);
    for (const QString& name : {smile, grin})
        ASSERT_TRUE(reg.OpenPath(CacheEntryPath(name), true));
    OpenRecording();
    form->OpenRegEdit(kCacheKey + QLatin1Char('\\') + grin);
    EXPECT_EQ(Editor()->Tree()->CurrentKeyPath(), kCacheKey + QLatin1Char('\\') + grin);
    form->OpenRegEdit(kCacheKey + QLatin1Char('\\') + smile);
    EXPECT_EQ(Editor()->Tree()->CurrentKeyPath(), kCacheKey + QLatin1Char('\\') + smile);
}
