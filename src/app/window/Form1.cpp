#include "Form1.h"

#include "Artwork.h"
#include "CacheTable.h"
#include "CellToolTips.h"
#include "Controls.h"
#include "DocPages.h"
#include "ErrorHandler.h"
#include "Fonts.h"
#include "MessageBox.h"
#include "PageLayout.h"
#include "Printing.h"
#include "RegEditWindow.h"
#include "RegistryJob.h"
#include "SafeTextDelegate.h"
#include "Shell.h"
#include "UndoListModel.h"
#include "UndoListReader.h"
#include "WindowClass.h"
#include "cache/CacheListing.h"
#include "cache/OSInfo.h"
#include "core/Errors.h"
#include "core/NativePath.h"
#include "skin/ThemeCatalogue.h"
#include "undo/RegFile.h"
#include "undo/UndoContext.h"
#include "undo/UndoFolder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListView>
#include <QPrinter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTreeWidget>
#include <utility>

namespace parvelle {

namespace {
const QString kMsSansSerif = QStringLiteral("MS Sans Serif");
const QString kArial = QStringLiteral("Arial");
const QString kSelectAnItem = QStringLiteral("You must select an item from the list");

// Every page is designed at this size; the lists on them keep at least a few rows.
constexpr QSize kPageDesign(673, 365);
constexpr QSize kLeastTable(160, 80);

constexpr int kLeftArrowsToCollapse = 31;

struct HelpTopic {
    const char* heading;
    const char* text;
};
struct HelpSection {
    const char* title;
    int textX;
    std::vector<HelpTopic> topics;
};

const std::vector<HelpSection>& HelpSections()
{
    static const std::vector<HelpSection> sections = {
        {"Column Headers", 111, {
            {"KeyName", "The name of the key under HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache where this information is found"},
            {"In Add/Remove", "Tells if the key exists in Add/Remove Programs.  If no, it is probably left over from an uninstall."},
            {"File Path", "The location of the executable file for which the Frequency and Last Used information is kept"},
            {"Frequency", "How often the executable file has been run in the past (from -1 to 30)"},
            {"Last Used", "The date and time when the executable file was last run"},
            {"Install Size", "Size of the application's installation"},
            {"Has Name", "If there is no File Path, this is False; otherwise, it is True."},
            {"Data Size", "The size of the data file in the registry which the Parvelle reads.  Parvelle reads this data as if it is 552 bytes.  If it is a different size, it may not display correctly in the Parvelle."},
            {"Changed", "This value is listed alongside the data and tells whether the data has changed."},
        }},
        {"Buttons", 208, {
            {"Refresh", "Rereads the ARPCache and fills in the list."},
            {"Open in RegEdit", "Opens the selected item in RegEdit so that you can see what it looks like in the registry.."},
            {"Remove Item from ARPCache", "This removes the selected item from the ARPCache in the registry.  If the item is associated with an entry in Add/Remove Programs, Windows will reenter the item in the ARPCache resetting its statistics to 0.\n\nAn undo reg file is created for each item removed.  To restore, find the undo file in the Parvelle directory and double click on it."},
        }},
        {"Miscellaneous", 184, {
            {"Location of ARPCache", "The ARPCache is located at HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache in the registry."},
            {"Cleaning ARPCache", "The ARPCache can become cluttered because many uninstallers do not remove the corresponding entry in ARPCache.  You can clean the ARPCache by removing each entry that has \"No\" in the \"In Add/Remove\" column."},
        }},
    };
    return sections;
}

// Height of a word-wrapped text in a column of that width.
int TextHeight(const QFont& font, const QString& text, int width)
{
    return QFontMetrics(font).boundingRect(QRect(0, 0, width, 0), Qt::TextWordWrap, text).height();
}

void SetTextColor(QWidget* widget, QColor color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

void PressKey(QWidget* target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

void TypeChar(QWidget* target, const QString& character)
{
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, character);
    QApplication::sendEvent(target, &press);
}

// Code units of the character at index: two for a surrogate pair, else one.
qsizetype CharLength(const QString& text, qsizetype index)
{
    return text[index].isHighSurrogate() && index + 1 < text.size() && text[index + 1].isLowSurrogate() ? 2 : 1;
}

// The editor's window, made when missing. It belongs to the owner, so it never outlives
// the registry it shows.
QWidget* BringUpRegEdit(const std::function<QWidget*(Machine&)>& make, Machine& machine, QWidget* owner)
{
    QWidget* window = FindWindow(kRegEditClass);
    if (!window) {
        if (QWidget* made = make(machine)) {
            made->setParent(owner, made->windowFlags() | Qt::Window);
            made->show();
        }
        window = FindWindow(kRegEditClass);
    }
    return window;
}
} // namespace

namespace {
// Where the machine's hives are, each named once.
QStringList RegistryPlaces(const Machine& machine)
{
    QStringList places;
    for (const Machine::Mount& mount : machine.mounts())
        places.append(mount.store->describe());
    places.removeDuplicates();
    return places;
}

// The places by their file names alone, which tell the hives apart.
QString PlaceNames(const QStringList& places)
{
    QStringList names;
    for (const QString& place : places)
        names.append(QFileInfo(place).fileName());
    return names.join(QStringLiteral(", "));
}

bool AnyReadOnly(const Machine& machine)
{
    return std::any_of(machine.mounts().begin(), machine.mounts().end(),
                       [](const Machine::Mount& mount) { return !mount.store->isWritable(); });
}
} // namespace

QString WindowTitleText(const Machine& machine)
{
    const QStringList places = RegistryPlaces(machine);
    if (places.isEmpty())
        return QStringLiteral("Parvelle");
    return PlaceNames(places) + (AnyReadOnly(machine) ? QStringLiteral(" [read-only]") : QString())
        + QStringLiteral(" - Parvelle");
}

QString RegistryStatusText(const Machine& machine)
{
    const QStringList places = RegistryPlaces(machine);
    if (places.isEmpty())
        return QStringLiteral("No registry open");
    QString text = (AnyReadOnly(machine) ? QStringLiteral("[read-only]  ") : QStringLiteral("[writable]  "))
        + PlaceNames(places);
    for (const QString& note : machine.notes() + machine.warnings())
        text += QStringLiteral("  ") + note;
    return text;
}

QString RegistryToolTip(const Machine& machine)
{
    return (QStringList{RegistryStatusText(machine)} + RegistryPlaces(machine)).join(QLatin1Char('\n'));
}

TForm1::TForm1(Machine& machine, const QString& undoFolder, Form1Services services, QWidget* parent)
    : QWidget(parent), machine_(machine), undoFolder_(undoFolder), services_(std::move(services))
{
    if (!services_.messages) {
        ownMessages_ = std::make_unique<QtMessageBox>(this);
        services_.messages = ownMessages_.get();
    }
    if (!services_.shellOpen) {
        ownShell_ = std::make_unique<QtShell>();
        services_.shellOpen = ownShell_.get();
    }
    if (!services_.printers) {
        ownPrinters_ = std::make_unique<QtPrintDialogChooser>(this);
        services_.printers = ownPrinters_.get();
    }
    if (!services_.makeRegEdit)
        services_.makeRegEdit = [](Machine& m) -> QWidget* { return new RegEditWindow(m); };

    RegisterWindowFonts();
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(ApplicationIcon());
    setFont(DesignFont(kMsSansSerif, 11));
    move(290, 227);

    suiForm1_ = MakeFrame(this, QStringLiteral("suiForm1"), QStringLiteral("Parvelle"), QSize(679, 419));
    setMinimumWidth(150);   // after the frame, whose style sets a minimum of its own
    // The task bar names the open hive; the title bar keeps the caption alone.
    setWindowTitle(WindowTitleText(machine_));
    registryStatus_ = new TitleBarNote(suiForm1_->TitleBar());
    registryStatus_->setObjectName(QStringLiteral("RegistryStatus"));
    registryStatus_->setFont(DesignFont(QStringLiteral("Tahoma"), 11));
    ShowRegistryStatus({});
    refresh_ = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(refresh_, &QShortcut::activated, this, Guarded([this] { FormShow(); }));
    job_ = new RegistryJob(this);
    connect(job_, &RegistryJob::Progress, this, &TForm1::ShowProgress);

    suiPageControl1_ = MakePageControl(suiForm1_, QStringLiteral("suiPageControl1"));
    BuildAboutPage(MakeTabSheet(suiPageControl1_, QStringLiteral("suiTabSheet1"), QStringLiteral("About Parvelle")));
    BuildListPage(MakeTabSheet(suiPageControl1_, QStringLiteral("suiTabSheet2"), QStringLiteral("ARPCache List")));
    BuildOtherProgramsPage(MakeTabSheet(suiPageControl1_, QStringLiteral("suiTabSheet3"), QStringLiteral("Other Programs")));
    BuildHelpPage(MakeTabSheet(suiPageControl1_, QStringLiteral("suiTabSheet4"), QStringLiteral("Help")));
    BuildUndoPage(MakeTabSheet(suiPageControl1_, QStringLiteral("suiTabSheet5"), QStringLiteral("Undo")));
    suiPageControl1_->ActivatePageIndex(1);

    MakeThemeManager(this, QStringLiteral("suiThemeManager1"),
                     {suiForm1_, suiPageControl1_, suiListView1_, suiButton1_, suiButton2_, suiButton3_, Button2_,
                      Button5_, Button12_, Button1_, Button3_, suiCheckBox13_});
}

TForm1::~TForm1()
{
    delete job_;   // waits for a change still running, before any member goes
}

void TForm1::ShowRegistryStatus(const QString& note)
{
    statusNote_ = note;
    const QString toolTip = RegistryToolTip(machine_);
    registryStatus_->setNote(note.isEmpty() ? RegistryStatusText(machine_) : note,
                             note.isEmpty() ? toolTip : toolTip + QLatin1Char('\n') + note);
}

std::function<void()> TForm1::Guarded(std::function<void()> handler)
{
    return [this, handler] { RunGuarded(*services_.messages, handler); };
}

void TForm1::ConnectLink(LinkLabel* control)
{
    connect(control, &ClickLabel::clicked, this, Guarded([this, control] { HTTPLinkClick(control); }));
}

void TForm1::BuildAboutPage(QWidget* page)
{
    MakeLabel(page, QStringLiteral("Label1"), QStringLiteral("Parvelle"), QRect(24, 20, 625, 49),
              DesignFont(QStringLiteral("Arial Black"), 32), Qt::AlignHCenter | Qt::AlignTop);
    const QFont paragraph = DesignFont(kMsSansSerif, 19);
    MakeLabel(page, QStringLiteral("Label2"),
              QStringLiteral("     There is a secret, undocumented storage in the newer Windows registry of Add/Remove Program settings called ARPCache.  Windows adds these hard-to-read binary entries but it does not remove them."),
              QRect(24, 88, 625, 81), paragraph)->setWordWrap(true);
    MakeLabel(page, QStringLiteral("Label3"),
              QStringLiteral("     This tool allows you to see what is in your ARPCache and lets you remove items from it."),
              QRect(24, 176, 625, 56), paragraph)->setWordWrap(true);

    auto* box = MakeShape(page, QStringLiteral("Shape1"), QRect(32, 232, 609, 53), QColor(255, 196, 196), 2, true);
    MakeImage(box, QStringLiteral("Image2"), QRect(12, 10, 32, 32), PointerPicture(QSize(32, 32)));
    auto* pointer = MakeLabel(box, QStringLiteral("Label4"),
                              QStringLiteral("See the \"Other Programs\" page for the companions of Parvelle."),
                              QRect(56, 0, 545, 53), DesignFont(kMsSansSerif, 13, true),
                              Qt::AlignLeft | Qt::AlignVCenter);
    SetTextColor(pointer, Qt::red);

    ConnectLink(MakePictureLink(page, QStringLiteral("Image1"), QRect(24, 304, 193, 57), LogoPicture(QSize(193, 57)),
                                QStringLiteral("Parvelle documentation"), DocumentationPage(QStringLiteral("index.html"))));
    auto* notice = MakeLinkLabel(page, QStringLiteral("Label22"),
                                 QStringLiteral("Parvelle reads and cleans the ARPCache of Windows registry hive files.\nClick here for its documentation."),
                                 QRect(224, 312, 425, 45), Qt::black,
                                 DocumentationPage(QStringLiteral("index.html")));
    notice->setFont(DesignFont(kMsSansSerif, 11));
    notice->setAlignment(Qt::AlignCenter);
    notice->setWordWrap(true);
    ConnectLink(notice);
    new PageLayout(page, kPageDesign);
}

void TForm1::BuildListPage(QWidget* page)
{
    suiListView1_ = MakeListView(page, QStringLiteral("suiListView1"), QRect(0, 0, 673, 341), CacheColumnHeaders());
    EnableHeaderSorting(suiListView1_);
    ShowCutOffCellTexts(suiListView1_);
    ShowTextsSafely(suiListView1_);
    // An entry picked: the hive's first change is made ready while the user reaches Remove.
    // A selection cleared (as a refresh clears it) picks nothing.
    connect(suiListView1_, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!ChangeRunning() && suiListView1_->selectionModel()->hasSelection())
            machine_.prepareForChanges();
    });
    suiButton1_ = MakeButton(page, QStringLiteral("suiButton1"), QStringLiteral("Refresh"), QRect(8, 344, 97, 19));
    suiButton2_ = MakeButton(page, QStringLiteral("suiButton2"), QStringLiteral("Open in RegEdit"), QRect(272, 344, 129, 19));
    suiButton3_ = MakeButton(page, QStringLiteral("suiButton3"), QStringLiteral("Remove Item from ARPCache"),
                             QRect(464, 344, 201, 19));
    ConnectClick(suiButton1_, &TForm1::FormShow);
    ConnectClick(suiButton2_, &TForm1::suiButton2Click);
    ConnectClick(suiButton3_, &TForm1::suiButton3Click);
    // A larger window gives the table the room; the buttons stay in a row below it.
    auto* layout = new PageLayout(page, kPageDesign);
    layout->Anchor(suiListView1_, akLeft | akTop | akRight | akBottom, kLeastTable);
    layout->Anchor(suiButton1_, akLeft | akBottom);
    layout->Anchor(suiButton2_, akBottom);
    layout->Anchor(suiButton3_, akRight | akBottom);
}

void TForm1::BuildOtherProgramsPage(QWidget* page)
{
    struct Panel {
        const char* name;
        QRect geometry;
        QColor colour;
        QPixmap picture;
        const char* headline;
        const char* text;
        const char* link;
        const char* linkPage;
        QColor linkColour;
    };
    const Panel panels[] = {
        {"Shape2", QRect(24, 24, 553, 89), QColor(255, 196, 196), TerminalPicture(QSize(48, 48)),
         "parvelle-cli: the ARPCache from the command line",
         "List the cache as a table, CSV or JSON; remove entries and restore them in scripts, with the same undo files.",
         "Label26", "cli.html", Qt::blue},
        {"Shape3", QRect(24, 128, 553, 81), QColor(192, 220, 192), KeyTreePicture(QSize(40, 48)),
         "The registry editor window",
         "Browse every key and value of the open hive files; Open in RegEdit and Show Key take you straight to an entry.",
         "Label27", "regedit.html", Qt::blue},
        {"Shape4", QRect(216, 224, 441, 121), QColor(166, 202, 240), PalettePicture(QSize(48, 48)),
         "Theme files",
         "Give Parvelle a look of your own: theme files hold the colours and pictures of the skinned window.",
         "Label28", "themes.html", Qt::white},
    };
    for (const Panel& panel : panels) {
        auto* shape = MakeShape(page, QString::fromLatin1(panel.name), panel.geometry, panel.colour);
        const int width = panel.geometry.width();
        MakeImage(shape, QString::fromLatin1(panel.name) + QStringLiteral("Picture"), QRect(12, 12, 48, 48), panel.picture);
        MakeLabel(shape, QString::fromLatin1(panel.name) + QStringLiteral("Headline"), QString::fromUtf8(panel.headline),
                  QRect(72, 8, width - 84, 20), DesignFont(kArial, 16, true));
        MakeLabel(shape, QString::fromLatin1(panel.name) + QStringLiteral("Text"), QString::fromUtf8(panel.text),
                  QRect(72, 30, width - 200, 30), DesignFont(kMsSansSerif, 11))->setWordWrap(true);
        auto* link = MakeLinkLabel(shape, QString::fromLatin1(panel.link), QStringLiteral("Click Here for More Info and Download"),
                                   QRect(72, panel.geometry.height() - 22, 220, 16), panel.linkColour,
                                   DocumentationPage(QString::fromLatin1(panel.linkPage)));
        link->setAccessibleDescription(QString::fromUtf8(panel.headline));
        ConnectLink(link);
    }
    auto* award = MakeRotateLabel(page->findChild<QWidget*>(QStringLiteral("Shape2")), QStringLiteral("RotateLabel1"),
                                  QStringLiteral("Award Winning"), QRect(430, 58, 116, 28), 350, tsRaised,
                                  DesignFont(kArial, 12, true));
    SetTextColor(award, Qt::blue);
    auto* tall = MakeShape(page, QStringLiteral("Shape5"), QRect(592, 24, 65, 185), QColor(255, 255, 196));
    MakeRotateLabel(tall, QStringLiteral("RotateLabel2"), QStringLiteral("All Updates"), QRect(31, 2, 32, 181), 270,
                    tsRaised, DesignFont(QStringLiteral("Arial Black"), 24))->SetAlignment(taCenter);
    MakeRotateLabel(tall, QStringLiteral("RotateLabel3"), QStringLiteral("FREE"), QRect(2, 2, 32, 181), 270,
                    tsRaised, DesignFont(QStringLiteral("Arial Black"), 24))->SetAlignment(taCenter);
    auto* corner = MakeShape(page, QStringLiteral("Shape6"), QRect(24, 224, 177, 121), QColor(232, 232, 232));
    auto* skilled = MakeRotateLabel(corner, QStringLiteral("RotateLabel4"), QStringLiteral("Written by Skilled Programmers"),
                                    QRect(4, 4, 169, 113), 0, tsRecessed, DesignFont(QStringLiteral("Arial Narrow"), 27, true));
    skilled->SetAlignment(taCenter);
    skilled->SetWordWrap(true);
    new PageLayout(page, kPageDesign);
}

void TForm1::BuildHelpPage(QWidget* page)
{
    MakeLabel(page, QStringLiteral("Label5"), QStringLiteral("Please scroll down to see all of the topics."),
              QRect(40, 24, 585, 16), DesignFont(kMsSansSerif, 11), Qt::AlignHCenter | Qt::AlignTop);
    auto* box = MakeScrollBox(page, QStringLiteral("ScrollBox1"), QRect(16, 48, 641, 289), 1000);
    QWidget* content = box->widget();
    const QFont sectionFont = DesignFont(kMsSansSerif, 13, true);
    const QFont headingFont = DesignFont(kMsSansSerif, 11, true);
    const QFont textFont = DesignFont(kMsSansSerif, 11);
    const int contentWidth = 625;
    int y = 8;
    int labelNumber = 100;
    for (const HelpSection& section : HelpSections()) {
        auto* title = MakeLabel(content, QStringLiteral("Label%1").arg(labelNumber++), QString::fromUtf8(section.title),
                                QRect(0, y, contentWidth, 18), sectionFont, Qt::AlignHCenter | Qt::AlignTop);
        SetTextColor(title, Qt::blue);
        y += 26;
        for (const HelpTopic& topic : section.topics) {
            const QString text = QString::fromUtf8(topic.text);
            const int textWidth = contentWidth - section.textX;
            const QString headingText = QString::fromUtf8(topic.heading);
            const int headingWidth = section.textX - 24 - 4;
            const int height = TextHeight(textFont, text, textWidth);
            const int headingHeight = TextHeight(headingFont, headingText, headingWidth);
            MakeLabel(content, QStringLiteral("Label%1").arg(labelNumber++), headingText,
                      QRect(24, y, headingWidth, headingHeight), headingFont)->setWordWrap(true);
            MakeLabel(content, QStringLiteral("Label%1").arg(labelNumber++), text,
                      QRect(section.textX, y, textWidth, height), textFont)->setWordWrap(true);
            y += std::max(height, headingHeight) + 10;
        }
        y += 12;
    }
    // A taller window shows more of the topics.
    (new PageLayout(page, kPageDesign))->Anchor(box, akLeft | akTop | akBottom, QSize(0, kLeastTable.height()));
}

void TForm1::BuildUndoPage(QWidget* page)
{
    auto* title = MakeLabel(page, QStringLiteral("Label53"), QStringLiteral("Undo"), QRect(16, 16, 633, 25),
                            DesignFont(kArial, 19, true), Qt::AlignHCenter | Qt::AlignTop);
    title->setAttribute(Qt::WA_TranslucentBackground);
    MakeLabel(page, QStringLiteral("Label52"),
              QStringLiteral("If you have removed any items with Parvelle, they are in the dropdown box below.  To view the contents of an undo list and/or to restore it, select it in the dropdown box and it will be displayed in the listbox."),
              QRect(16, 48, 633, 33), DesignFont(kArial, 12), Qt::AlignHCenter | Qt::AlignTop)->setWordWrap(true);
    Label21_ = MakeLabel(page, QStringLiteral("Label21"), QStringLiteral("0 Items"), QRect(150, 92, 365, 13),
                         DesignFont(kArial, 12), Qt::AlignHCenter | Qt::AlignTop);
    suiCheckBox13_ = MakeCheckBox(page, QStringLiteral("suiCheckBox13"), QStringLiteral("Check / Uncheck All"),
                                  QPoint(24, 90), DesignFont(kArial, 11));
    undoEntries_ = new UndoListModel(this);
    CheckListBox1_ = MakeCheckListBox(page, QStringLiteral("CheckListBox1"), QRect(16, 112, 633, 185), undoEntries_);
    ShowTextsSafely(CheckListBox1_);
    undoReader_ = new UndoListReader(CheckListBox1_->font(), this);
    connect(undoReader_, &UndoListReader::Loaded, this, [this](const QStringList& entries, int maxExtent) {
        Guarded([&] { ShowUndoEntries(entries, maxExtent); })();
    });
    connect(undoReader_, &UndoListReader::Failed, this, [this](const QString& message) {
        ShowMessage(message);
        UpdateListBox1();
    });
    Button2_ = MakeButton(page, QStringLiteral("Button2"), QStringLiteral("&Print List"), QRect(16, 297, 153, 23));
    Button5_ = MakeButton(page, QStringLiteral("Button5"), QStringLiteral("Show &Key"), QRect(176, 297, 153, 23));
    Button12_ = MakeButton(page, QStringLiteral("Button12"), QStringLiteral("&Restore All"), QRect(336, 297, 153, 23));
    Button1_ = MakeButton(page, QStringLiteral("Button1"), QStringLiteral("Restore &Checked"), QRect(496, 297, 153, 23));
    auto* comboLabel = MakeLabel(page, QStringLiteral("Label54"), QStringLiteral("Select Undo &List:"), QRect(152, 339, 89, 17),
                                 DesignFont(kArial, 11));
    comboLabel->setTextFormat(Qt::AutoText);
    ComboBox2_ = MakeComboBox(page, QStringLiteral("ComboBox2"), QRect(248, 336, 217, 21));
    comboLabel->setBuddy(ComboBox2_);
    Button3_ = MakeButton(page, QStringLiteral("Button3"), QStringLiteral("<<  &Delete this Undo List"), QRect(472, 335, 169, 23));
    for (TsuiButton* button : {Button2_, Button5_, Button12_, Button1_, Button3_})
        button->setFont(DesignFont(kArial, 11));
    // Like the list page: the list takes the room, the rows of buttons stay below it.
    auto* layout = new PageLayout(page, kPageDesign);
    layout->Anchor(title, akLeft | akTop | akRight);
    layout->Anchor(page->findChild<QLabel*>(QStringLiteral("Label52")), akLeft | akTop | akRight);
    layout->Anchor(Label21_, akLeft | akTop | akRight,
                   QSize(Label21_->fontMetrics().horizontalAdvance(QStringLiteral("0000000 Items")), 0));
    layout->Anchor(CheckListBox1_, akLeft | akTop | akRight | akBottom, kLeastTable);
    for (TsuiButton* button : {Button2_, Button5_, Button12_, Button1_})
        layout->Anchor(button, akSpreadX | akBottom);
    for (QWidget* control : std::initializer_list<QWidget*>{comboLabel, ComboBox2_, Button3_})
        layout->Anchor(control, akBottom);

    ConnectClick(Button2_, &TForm1::Button2Click);
    ConnectClick(Button5_, &TForm1::Button5Click);
    ConnectClick(Button12_, &TForm1::Button12Click);
    ConnectClick(Button1_, &TForm1::Button1Click);
    ConnectClick(Button3_, &TForm1::Button3Click);
    ConnectClick(suiCheckBox13_, &TForm1::suiCheckBox13Click);
    connect(CheckListBox1_, &QListView::clicked, this, Guarded([this] { UpdateListBox1(); }));
    connect(CheckListBox1_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            Guarded([this] { UpdateListBox1(); }));
    connect(ComboBox2_, &QComboBox::currentTextChanged, this, Guarded([this] { ComboBox2Change(); }));
    UpdateListBox1();
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous() && !ChangeRunning())
        Guarded([this] { FormShow(); })();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!ChangeRunning()) {
        QWidget::closeEvent(event);
        return;
    }
    // A change is never cut short: what it saves and records stays whole.
    event->ignore();
    closeWhenDone_ = true;
    ShowProgress({}, 0, 0);
}

bool TForm1::ChangeRunning() const
{
    return job_->IsRunning();
}

void TForm1::RunChange(std::function<void(TUndoContext&)> change, std::function<void(TUndoContext&)> applied)
{
    auto context = std::make_shared<TUndoContext>(machine_, osKind_, undoFolder_);
    job_->Start(
        [context, change = std::move(change)](const RegistryJob::Report& report) {
            context->SetProgress(report);
            change(*context);
        },
        [this, context, applied = std::move(applied)](std::exception_ptr error) {
            SetChanging(false);
            Guarded([&] {
                if (error)
                    std::rethrow_exception(error);
                applied(*context);
            })();
            if (std::exchange(closeWhenDone_, false))
                close();
        });
    SetChanging(true);
    ShowProgress(QStringLiteral("Starting"), 0, 0);
}

void TForm1::SetChanging(bool changing)
{
    refresh_->setEnabled(!changing);
    for (TsuiButton* button : {suiButton1_, suiButton2_, suiButton3_})
        button->setEnabled(!changing);
    if (QWidget* editor = FindWindow(kRegEditClass))
        editor->setEnabled(!changing);
    UpdateListBox1();
    if (!changing)
        ShowRegistryStatus(statusNote_);
}

void TForm1::ShowProgress(const QString& step, qint64 done, qint64 total)
{
    if (!step.isEmpty())
        progress_ = total > 0 ? QStringLiteral("%1: %2 of %3").arg(step, QLocale().toString(done), QLocale().toString(total))
                              : step + QStringLiteral("...");
    const QString note = closeWhenDone_ ? progress_ + QStringLiteral("  (the window closes when this is done)") : progress_;
    registryStatus_->setNote(note, note);
}

void TForm1::ShowMessage(const QString& text)
{
    services_.messages->show(text, AppTitle());
}

void TForm1::FormShow()
{
    // Read first: a hive that cannot be read again leaves the table as it was.
    machine_.reloadChangedStores();
    if (listedRevision_ == machine_.revision()) {
        // Nothing changed since the table was filled: shown as filled, not read again.
        BagEnter();
        ShowRegistryStatus(listedEmptyReason_);
        ShowCacheTableAsFilled(suiListView1_);
        return;
    }
    CacheListing listing = ListCache(machine_, [this] { BagEnter(); }, luWhenShown, &listedRows_);
    osKind_ = listing.osKind;
    listedEmptyReason_ = EmptyListingReason(machine_, listing);
    ShowRegistryStatus(listedEmptyReason_);
    FillCacheTable(suiListView1_, listing);
    listedRows_.keep(std::move(listing));
    listedRevision_ = machine_.revision();
}

QTreeWidgetItem* TForm1::SelectedCacheRow() const
{
    const QList<QTreeWidgetItem*> selected = suiListView1_->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QString TForm1::SelectedCacheEntry() const
{
    const QTreeWidgetItem* row = SelectedCacheRow();
    return row ? row->text(ccKeyName) : QString();
}

void TForm1::suiButton2Click()
{
    const QString name = SelectedCacheEntry();
    if (name.isEmpty()) {
        ShowMessage(kSelectAnItem);
        return;
    }
    OpenRegEdit(RootName(CacheRoot(osKind_)) + CacheEntryPath(name));
}

void TForm1::suiButton3Click()
{
    QTreeWidgetItem* row = SelectedCacheRow();
    const QString name = row ? row->text(ccKeyName) : QString();
    if (name.isEmpty()) {
        ShowMessage(kSelectAnItem);
        return;
    }
    // While the table shows the registry as read, a removal that reads no hive again is
    // all that changes it: a listing afterwards would give the same rows without this one.
    const std::optional<uint64_t> listed = listedRevision_;
    const bool tableCurrent = listed == machine_.revision();
    const uint64_t readings = machine_.readings();
    auto removed = std::make_shared<bool>(false);
    RunChange([name, removed](TUndoContext& context) { *removed = context.RemoveCacheEntry(name); },
              [this, name, removed, row, listed, tableCurrent, readings](TUndoContext& context) {
                  undoStamp_ = context.UndoStamp();
                  if (*removed && tableCurrent && listedRevision_ == listed && machine_.readings() == readings) {
                      RemoveCacheTableRow(suiListView1_, row);   // not filled again meanwhile: still there
                      listedRevision_ = machine_.revision();
                  }
                  FormShow();
                  if (!*removed)
                      ShowMessage(QStringLiteral("'%1' is no longer in the cache: another program removed it").arg(name));
              });
}

void TForm1::HTTPLinkClick(QObject* sender)
{
    const auto* link = qobject_cast<LinkLabel*>(sender);
    const int result = services_.shellOpen->shellExecute(link ? link->target() : QString());
    if (result < 33)
        ShowMessage(ShellErrorMessage(result));
}

void TForm1::OpenRegEdit(const QString& path)
{
    QWidget* window = BringUpRegEdit(services_.makeRegEdit, machine_, this);
    if (!window) {
        ShowMessage(QStringLiteral("Unable to open Regedit."));
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
    QWidget* tree = FindWindowEx(window, kRegTreeClass);
    if (tree) {
        tree->setFocus();
        for (int i = 0; i < kLeftArrowsToCollapse; ++i) {
            PressKey(tree, Qt::Key_Left);
            QApplication::processEvents();
        }
        QApplication::processEvents();
        PressKey(tree, Qt::Key_Right);
        for (qsizetype i = 0; i < path.size(); i += CharLength(path, i)) {
            if (path[i] == QLatin1Char('\\')) {
                PressKey(tree, Qt::Key_Right);
                QApplication::processEvents();
            } else {
                TypeChar(tree, path.mid(i, CharLength(path, i)));
            }
        }
    }
    if (auto* editor = qobject_cast<RegEditWindow*>(window))
        editor->CheckSelection(SplitUndoEntry(path).keyPath);
    window->raise();
    window->activateWindow();
}

// --- Undo page ---

void TForm1::ClearList()
{
    undoReader_->Cancel();
    undoEntries_->Clear();
    CheckListBox1_->horizontalScrollBar()->setValue(0);
}

void TForm1::LoadUndoFile(const QString& name)
{
    ClearList();
    undoReader_->Read(TUndoFolder(undoFolder_).PathOf(name));
}

void TForm1::ShowUndoEntries(const QStringList& entries, int maxExtent)
{
    // Every row as wide as the widest entry with its check box, so the view scrolls to its end.
    const QStyle* style = CheckListBox1_->style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, CheckListBox1_) + 1;
    const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, CheckListBox1_);
    const int height = std::max(CheckListBox1_->fontMetrics().height(),
                                style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, CheckListBox1_)) + 2;
    undoEntries_->SetEntries(entries, QSize(4 * margin + indicator + maxExtent, height));
    UpdateListBox1();
}

bool TForm1::ReadingUndoList() const
{
    return undoReader_->IsReading();
}

// The combo box's file when its text is one of its items (names the undo folder listed)
// and the file still exists.
QString TForm1::SelectedUndoFile() const
{
    const QString name = ComboBox2_->currentText();
    if (ComboBox2_->findText(name, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
        return {};
    return IsFile(TUndoFolder(undoFolder_).PathOf(name)) ? name : QString();
}

void TForm1::BagEnter()
{
    const QSignalBlocker blocker(ComboBox2_);
    ClearList();
    ComboBox2_->clear();
    ComboBox2_->addItems(TUndoFolder(undoFolder_).List());
    suiCheckBox13_->SetChecked(false);
    if (ComboBox2_->count() > 0) {
        ComboBox2_->setCurrentIndex(ComboBox2_->count() - 1);
        const QString name = SelectedUndoFile();
        if (!name.isEmpty())
            LoadUndoFile(name);
        suiCheckBox13_->SetChecked(true);
    }
    UpdateListBox1();
}

void TForm1::ComboBox2Change()
{
    const QString name = SelectedUndoFile();
    if (!name.isEmpty())
        LoadUndoFile(name);
    suiCheckBox13_->SetChecked(true);
    UpdateListBox1();
}

void TForm1::UpdateListBox1()
{
    const int count = undoEntries_->rowCount();
    const bool hasEntries = count > 0;
    const bool selected = CheckListBox1_->selectionModel()->hasSelection();
    const bool idle = !ChangeRunning();
    Button1_->setEnabled(hasEntries && idle);
    Label21_->setText(ReadingUndoList() ? QStringLiteral("Reading...") : QStringLiteral("%1 Items").arg(count));
    Label21_->repaint();
    Button2_->setEnabled(hasEntries);
    Button5_->setEnabled(selected && idle);
    Button12_->setEnabled(hasEntries && idle);
    Button3_->setEnabled(ComboBox2_->count() > 0 && idle);
    suiCheckBox13_->setEnabled(hasEntries);
    update();
}

void TForm1::suiCheckBox13Click()
{
    undoEntries_->SetAllChecked(suiCheckBox13_->Checked());
}

void TForm1::Button5Click()
{
    const QModelIndexList selected = CheckListBox1_->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        services_.messages->show(QStringLiteral("Select an Item"), QStringLiteral("Please select an item from the list"));
        return;
    }
    OpenRegEdit(selected.first().data().toString());
    UpdateListBox1();
}

void TForm1::Button3Click()
{
    // The trash keeps the only record of the removed entries within reach.
    const QString name = SelectedUndoFile();
    if (!name.isEmpty() && !QFile::moveToTrash(TUndoFolder(undoFolder_).PathOf(name)))
        TUndoFolder(undoFolder_).Delete(name);
    BagEnter();
}

void TForm1::Button1Click()
{
    const QStringList checked = undoEntries_->CheckedEntries();
    if (checked.isEmpty()) {
        services_.messages->show(QStringLiteral("No key is checked; nothing was restored"), QStringLiteral("Nothing Restored"));
        return;
    }
    const auto restored = [this] {
        services_.messages->show(QStringLiteral("Selected Keys Restored"), QStringLiteral("Finished"));
        FormShow();
    };
    const QString name = ComboBox2_->currentText();
    if (SelectedUndoFile().isEmpty())
        throw EInOutError(QStringLiteral("The undo file '%1' is not in the undo folder; nothing was restored").arg(name));
    RunChange(
        [name, path = TUndoFolder(undoFolder_).PathOf(name), checked](TUndoContext& context) {
            if (context.RestoreChecked(path, checked) == 0)
                throw EInOutError(QStringLiteral("The undo file '%1' holds none of the checked entries; nothing was restored")
                                      .arg(name));
        },
        [restored](TUndoContext&) { restored(); });
}

void TForm1::Button12Click()
{
    const QString name = SelectedUndoFile();
    if (name.isEmpty())
        return;
    RunChange([path = TUndoFolder(undoFolder_).PathOf(name)](TUndoContext& context) { context.ImportFile(path); },
              [this](TUndoContext&) { FormShow(); });
}

void TForm1::Button2Click()
{
    PrintStrings(undoEntries_->Entries());
    UpdateListBox1();
}

void TForm1::PrintStrings(const QStringList& lines)
{
    QPrinter printer;
    if (!services_.printers->choose(printer))
        return;
    if (!PrintLines(lines, printer))
        ShowMessage(QStringLiteral("Error Printing text."));
}

} // namespace parvelle
