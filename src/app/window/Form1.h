#pragma once
// The main window: five pages, the cache table and the undo-list browser, and the
// handlers of every control.
#include "cache/CacheListing.h"
#include "registry/Machine.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QListView;
class QShortcut;
class QTreeWidgetItem;

namespace parvelle {

class LinkLabel;
class MessageBoxService;
class PrinterChooser;
class Shell;
class TitleBarNote;
class TsuiButton;
class TsuiCheckBox;
class TsuiForm;
class TsuiListView;
class TsuiPageControl;
class RegistryJob;
class TUndoContext;
class UndoListModel;
class UndoListReader;

// The platform services the window uses; null members get the real Qt service.
struct Form1Services {
    MessageBoxService* messages = nullptr;
    Shell* shellOpen = nullptr;
    PrinterChooser* printers = nullptr;
    // Makes the registry editor window; nullptr when it cannot be made.
    std::function<QWidget*(Machine&)> makeRegEdit;
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    TForm1(Machine& machine, const QString& undoFolder, Form1Services services = {},
           QWidget* parent = nullptr);
    ~TForm1() override;

    uint8_t OSKind() const { return osKind_; }
    const QString& UndoStamp() const { return undoStamp_; }

    // Handlers, named after the controls that raise them.
    void FormShow();
    void suiButton2Click();
    void suiButton3Click();
    void HTTPLinkClick(QObject* sender);
    void UpdateListBox1();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button5Click();
    void Button12Click();
    void ComboBox2Change();
    void suiCheckBox13Click();

    void BagEnter();
    // True while the Undo page's file is being read (the list fills when it is done).
    bool ReadingUndoList() const;
    // True while a removal, restore or import runs on its worker thread; the controls that
    // read or change the registry are disabled meanwhile.
    bool ChangeRunning() const;
    void OpenRegEdit(const QString& path);
    void PrintStrings(const QStringList& lines);

protected:
    void showEvent(QShowEvent* event) override;
    // While a change runs the window stays open and closes when it is done.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildAboutPage(QWidget* page);
    void BuildListPage(QWidget* page);
    void BuildOtherProgramsPage(QWidget* page);
    void BuildHelpPage(QWidget* page);
    void BuildUndoPage(QWidget* page);
    // Runs the handler, guarded, on each OnClick of the control.
    template <class Control>
    void ConnectClick(Control* control, void (TForm1::*handler)())
    {
        connect(control, &Control::OnClick, this, Guarded([this, handler] { (this->*handler)(); }));
    }
    void ConnectLink(LinkLabel* control);
    // The handler, with any error it raises shown in a message box.
    std::function<void()> Guarded(std::function<void()> handler);

    // The registry status line, or `note` in its place (the status then in its tooltip).
    void ShowRegistryStatus(const QString& note);
    void LoadUndoFile(const QString& path);
    void ShowUndoEntries(const QStringList& entries, int maxExtent);
    void ClearList();
    QString SelectedUndoFile() const;
    QTreeWidgetItem* SelectedCacheRow() const;
    QString SelectedCacheEntry() const;
    void ShowMessage(const QString& text);
    // Runs the change on the worker thread with its progress in the status line, then
    // `applied` here when it ended well; what it raised is shown as a handler's error is.
    void RunChange(std::function<void(TUndoContext&)> change, std::function<void(TUndoContext&)> applied);
    void SetChanging(bool changing);
    void ShowProgress(const QString& step, qint64 done, qint64 total);

    Machine& machine_;
    QString undoFolder_;
    Form1Services services_;
    std::unique_ptr<MessageBoxService> ownMessages_;
    std::unique_ptr<Shell> ownShell_;
    std::unique_ptr<PrinterChooser> ownPrinters_;

    uint8_t osKind_ = 0;
    QString undoStamp_;
    QString statusNote_;      // the note the status line shows between changes
    QString progress_;        // the running change's last report
    bool closeWhenDone_ = false;
    RegistryJob* job_ = nullptr;
    QShortcut* refresh_ = nullptr;
    // The machine's revision when the cache table was filled, and why it was empty.
    std::optional<uint64_t> listedRevision_;
    QString listedEmptyReason_;
    CacheRowReuse listedRows_;   // the last listing's rows, for the next one

    TsuiForm* suiForm1_ = nullptr;
    TitleBarNote* registryStatus_ = nullptr;
    TsuiPageControl* suiPageControl1_ = nullptr;
    TsuiListView* suiListView1_ = nullptr;
    TsuiButton* suiButton1_ = nullptr;
    TsuiButton* suiButton2_ = nullptr;
    TsuiButton* suiButton3_ = nullptr;
    TsuiCheckBox* suiCheckBox13_ = nullptr;
    QLabel* Label21_ = nullptr;
    QListView* CheckListBox1_ = nullptr;
    UndoListModel* undoEntries_ = nullptr;
    UndoListReader* undoReader_ = nullptr;
    TsuiButton* Button1_ = nullptr;
    TsuiButton* Button2_ = nullptr;
    TsuiButton* Button3_ = nullptr;
    TsuiButton* Button5_ = nullptr;
    TsuiButton* Button12_ = nullptr;
    QComboBox* ComboBox2_ = nullptr;
};

// One line telling whether the registry can be changed, which hive files are open (their
// names), how they were opened (transaction logs applied) and what damage was read past.
QString RegistryStatusText(const Machine& machine);
// The status line, then the full path of each hive file, one a line.
QString RegistryToolTip(const Machine& machine);
// The window's title for the task bar: the open hives' file names and whether they are
// read-only, then the program's name.
QString WindowTitleText(const Machine& machine);

} // namespace parvelle
