#include "ui/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <filesystem>
#include <limits>
#include <optional>

#include "engine/crawl_messages.h"
#include "engine/download_list.h"
#include "engine/download_task.h"
#include "engine/program_options.h"
#include "engine/progress_notifier.h"
#include "engine/project_lock.h"
#include "platform/critical_section.h"
#include "platform/registry_key.h"
#include "storage/local_file_mapping.h"
#include "ui/about_dlg.h"
#include "ui/compile_chm_dialog.h"
#include "ui/dir_view.h"
#include "ui/file_dialog_folder.h"
#include "ui/file_view.h"
#include "ui/option_sheet.h"
#include "ui/recent_file_list.h"
#include "ui/thread_view.h"
#include "ui/update_html_dialog.h"
#include "ui/user_prompts.h"

// Resources of a static library are registered by hand, outside any namespace.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace {

const QString kProjectFilter = "Project Files (*.tkp)";
const QString kProjectSuffix = "tkp";
const QString kSaveFailedMessage = "Failed to save document.";
const QString kReadyText = "Ready";

constexpr int kTimerPeriodMs = 1000;
// How long one pass of the event loop fills the views, well under what a
// user notices as a stall.
constexpr int kFillSliceMs = 20;
constexpr int kCountPaneWidth = 100;
constexpr int kDirColumnWidth = 200;
constexpr int kUpperRowHeight = 400;
constexpr int kDirMinimumWidth = 150;
constexpr int kFileMinimumWidth = 200;
constexpr int kUpperMinimumHeight = 200;

// The stored window placement: length, flags, show command, minimised and
// maximised positions, and the normal rectangle (left, top, right, bottom).
struct WindowPlacement {
    std::int32_t length = sizeof(WindowPlacement);
    std::int32_t flags = 0;
    std::int32_t showCommand = 0;
    std::int32_t minPosition[2] = {-1, -1};
    std::int32_t maxPosition[2] = {-1, -1};
    std::int32_t normal[4] = {};
};
static_assert(sizeof(WindowPlacement) == 44);

// The stored rectangle, unless it is empty or lies where no screen shows it
// (stored with another set of screens, or damaged).
std::optional<QRect> UsableNormalRect(const WindowPlacement& placement) {
    const auto* normal = placement.normal;
    const std::int64_t width = std::int64_t{normal[2]} - normal[0];
    const std::int64_t height = std::int64_t{normal[3]} - normal[1];
    if (width <= 0 || height <= 0 || width > std::numeric_limits<int>::max() ||
        height > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    const QRect rect(QPoint(normal[0], normal[1]), QPoint(normal[2] - 1, normal[3] - 1));
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersects(rect)) {
            return rect;
        }
    }
    return std::nullopt;
}

constexpr std::int32_t kShowNormal = 1;
constexpr std::int32_t kShowMaximized = 3;
const char* const kLayoutSection = "Layout";

const char* IconName(CommandId id) {
    switch (id) {
        case ID_FILE_NEW_PROJECT:
            return ":/icons/new.svg";
        case ID_FILE_OPEN:
            return ":/icons/open.svg";
        case ID_FILE_SAVE:
            return ":/icons/save.svg";
        case ID_PROJECT_START:
            return ":/icons/start.svg";
        case ID_PROJECT_PAUSE:
            return ":/icons/pause.svg";
        case ID_PROJECT_STOP:
            return ":/icons/stop.svg";
        case ID_PROJECT_CREATE_CHM:
            return ":/icons/chm.svg";
        case ID_PROJECT_PROPERTIES:
            return ":/icons/properties.svg";
        case ID_HELP_INDEX:
            return ":/icons/help.svg";
        case ID_APP_ABOUT:
            return ":/icons/about.svg";
        default:
            return nullptr;
    }
}

QString MenuTitle(CommandMenu menu) {
    switch (menu) {
        case CommandMenu::File:
            return "&File";
        case CommandMenu::View:
            return "&View";
        case CommandMenu::Project:
            return "&Project";
        case CommandMenu::Help:
            break;
    }
    return "&Help";
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CMainFrame::CMainFrame(CRecentFileList& recentFiles, std::unique_ptr<CUserPrompts> prompts,
                       CDownloadManager::WorkerFactory factory)
    : m_recentFiles(recentFiles),
      m_prompts(prompts ? std::move(prompts) : std::make_unique<CDialogPrompts>(this)),
      m_window(m_queue,
               [this](UINT message, WPARAM wParam, LPARAM lParam) {
                   DispatchCrawlMessage(message, wParam, lParam, *this);
                   return LRESULT{0};
               }),
      m_doc(&m_window, std::move(factory)) {
    InitIconResources();
    // The engine's threads reach this thread only through the queue; its
    // event descriptor is readable while a message waits.
    m_notifier = new QSocketNotifier(m_queue.GetInputEvent().GetFd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { m_queue.PumpMessages(); });
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateClientArea();
    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &CMainFrame::OnTimer);
    connect(&m_fillTimer, &QTimer::timeout, this, &CMainFrame::FillViewsSlice);
    RestoreLayout();
    UpdateRecentFileMenu();
    UpdateCaption();
    UpdateCommands();
}

CMainFrame::~CMainFrame() {
    // The crawl's threads still report to this window while they stop.
    m_doc.DeleteContents();
    SaveLayout();
}

void CMainFrame::RestoreLayout() {
    const CRegistryKey key = GetSectionKey(kLayoutSection);
    WindowPlacement placement;
    const std::optional<QRect> normal =
        key.ReadBinary("Window Placement", &placement, sizeof placement)
            ? UsableNormalRect(placement)
            : std::nullopt;
    if (!normal) {
        resize(800, 600);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            move(screen->availableGeometry().center() - rect().center());
        }
        return;
    }
    setGeometry(*normal);
    if (placement.showCommand == kShowMaximized) {
        setWindowState(Qt::WindowMaximized);
    }
    std::uint32_t columnWidth = kDirColumnWidth;
    std::uint32_t rowHeight = kUpperRowHeight;
    key.ReadDword("Column Width", columnWidth);
    key.ReadDword("Row Height", rowHeight);
    m_inner->setSizes({static_cast<int>(columnWidth), width() - static_cast<int>(columnWidth)});
    m_outer->setSizes({static_cast<int>(rowHeight), height() - static_cast<int>(rowHeight)});
}

void CMainFrame::SaveLayout() const {
    // Failures are ignored: the next start falls back to the defaults.
    CRegistryKey key = GetSectionKey(kLayoutSection);
    WindowPlacement placement;
    // A minimised window comes back in its normal state.
    placement.showCommand = isMaximized() ? kShowMaximized : kShowNormal;
    const QRect normal =
        isMaximized() && normalGeometry().isValid() ? normalGeometry() : geometry();
    placement.normal[0] = normal.left();
    placement.normal[1] = normal.top();
    placement.normal[2] = normal.left() + normal.width();
    placement.normal[3] = normal.top() + normal.height();
    key.WriteBinary("Window Placement", &placement, sizeof placement);
    key.WriteDword("Column Width", static_cast<std::uint32_t>(m_inner->sizes().value(0)));
    key.WriteDword("Row Height", static_cast<std::uint32_t>(m_outer->sizes().value(0)));
}

void CMainFrame::CreateActions() {
    for (const CCommand& command : GetCommands()) {
        auto* action = new QAction(FromUtf8(command.caption), this);
        action->setShortcut(QKeySequence(FromUtf8(command.shortcut)));
        action->setStatusTip(FromUtf8(StatusPrompt(command)));
        action->setToolTip(FromUtf8(ToolTip(command)));
        if (const char* icon = IconName(command.id)) {
            // In full colour at rest as under the mouse, where the flat
            // button's raised frame marks the hovered one.
            action->setIcon(QIcon(icon));
        }
        const CommandId id = command.id;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        m_actions[id] = action;
    }
    for (CommandId id : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}) {
        m_actions[id]->setCheckable(true);
        m_actions[id]->setChecked(true);
    }
}

void CMainFrame::CreateMenus() {
    std::map<CommandMenu, QMenu*> menus;
    for (const CCommand& command : GetCommands()) {
        QMenu*& menu = menus[command.menu];
        if (!menu) {
            menu = menuBar()->addMenu(MenuTitle(command.menu));
        }
        if (command.id == ID_APP_EXIT) {
            // The recent files go between the two separators before Exit.
            m_fileMenu = menu;
            m_recentSeparator = menu->addSeparator();
            m_exitSeparator = menu->addSeparator();
        } else if (command.separatorBefore) {
            menu->addSeparator();
        }
        menu->addAction(m_actions.at(command.id));
    }
}

void CMainFrame::CreateToolBar() {
    QToolBar* toolBar = addToolBar("Toolbar");
    toolBar->setObjectName("Toolbar");
    toolBar->setIconSize(QSize(24, 24));
    toolBar->setMovable(true);
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (const std::optional<CommandId>& button : GetToolbarButtons()) {
        if (button) {
            toolBar->addAction(m_actions.at(*button));
        } else {
            toolBar->addSeparator();
        }
    }
    QAction* viewToolBar = m_actions.at(ID_VIEW_TOOLBAR);
    connect(viewToolBar, &QAction::toggled, toolBar, &QToolBar::setVisible);
    // The toolbar's own pop-up menu hides it too; the menu's check follows.
    // A toolbar hidden only with its window does not report.
    connect(toolBar, &QToolBar::visibilityChanged, viewToolBar, &QAction::setChecked);
}

void CMainFrame::CreateStatusBar() {
    m_panes[0] = new QLabel(kReadyText);
    statusBar()->addWidget(m_panes[0], 1);
    for (int pane = 1; pane < 3; ++pane) {
        m_panes[pane] = new QLabel;
        // A busy crawl's rate or count outgrows the usual width; the pane
        // grows rather than cutting the figure off.
        m_panes[pane]->setMinimumWidth(kCountPaneWidth);
        statusBar()->addPermanentWidget(m_panes[pane]);
    }
    RefreshStatusBar();
    connect(m_actions.at(ID_VIEW_STATUS_BAR), &QAction::toggled, statusBar(),
            &QStatusBar::setVisible);
}

void CMainFrame::CreateClientArea() {
    m_outer = new QSplitter(Qt::Vertical, this);
    m_inner = new QSplitter(Qt::Horizontal, m_outer);
    QSplitter* outer = m_outer;
    QSplitter* inner = m_inner;
    m_dirView = new CDirView(m_doc, *m_prompts, inner);
    m_dirView->setMinimumWidth(kDirMinimumWidth);
    m_fileView = new CFileView(inner);
    m_fileView->setMinimumWidth(kFileMinimumWidth);
    connect(m_fileView, &CFileView::openFileRequested, this, &CMainFrame::OnOpenFile);
    connect(m_fileView, &CFileView::openUrlRequested, this, &CMainFrame::OnOpenUrl);
    m_threadView = new CThreadView(outer);
    inner->setMinimumHeight(kUpperMinimumHeight);
    for (QSplitter* splitter : {outer, inner}) {
        splitter->setChildrenCollapsible(false);
        // A resized window gives or takes the space of the second pane.
        splitter->setStretchFactor(0, 0);
        splitter->setStretchFactor(1, 1);
    }
    inner->setSizes({kDirColumnWidth, kDirColumnWidth * 3});
    outer->setSizes({kUpperRowHeight, kUpperRowHeight / 2});
    setCentralWidget(outer);
    auto* nextPane = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(nextPane, &QShortcut::activated, this, [this] { MovePaneFocus(1); });
    auto* previousPane = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previousPane, &QShortcut::activated, this, [this] { MovePaneFocus(-1); });
}

void CMainFrame::MovePaneFocus(int step) {
    // The panes in the order the keys walk them: directory tree, file list,
    // threads.
    QWidget* const panes[] = {m_inner->widget(0), m_inner->widget(1), m_outer->widget(1)};
    constexpr int kPaneCount = 3;
    const QWidget* focus = QApplication::focusWidget();
    int current = -1;
    for (int pane = 0; pane < kPaneCount; ++pane) {
        if (focus != nullptr && (focus == panes[pane] || panes[pane]->isAncestorOf(focus))) {
            current = pane;
        }
    }
    const int next = current < 0 ? 0 : (current + step + kPaneCount) % kPaneCount;
    panes[next]->setFocus(Qt::ShortcutFocusReason);
}

void CMainFrame::RunCommand(CommandId id) {
    switch (id) {
        case ID_FILE_NEW_PROJECT:
            NewProject();
            break;
        case ID_FILE_OPEN:
            OnOpen();
            break;
        case ID_FILE_SAVE:
            OnSave();
            break;
        case ID_FILE_SAVE_AS:
            OnSaveAs();
            break;
        case ID_FILE_OPTIONS:
            COptionSheet(GetProgramOptions(), *m_prompts, this).exec();
            break;
        case ID_APP_EXIT:
            close();
            break;
        case ID_VIEW_TOOLBAR:
        case ID_VIEW_STATUS_BAR:
            // Their toggled signal shows or hides the bar.
            break;
        case ID_PROJECT_START:
            OnStart();
            break;
        case ID_PROJECT_PAUSE:
            OnPause();
            break;
        case ID_PROJECT_STOP:
            OnStop();
            break;
        case ID_PROJECT_PROPERTIES:
            OnProperties();
            break;
        case ID_PROJECT_BROWSE_OFFLINE:
            OnBrowseOffline();
            break;
        case ID_PROJECT_CREATE_CHM:
            OnCreateChm();
            break;
        case ID_PROJECT_SUMMARY:
            m_prompts->ShowSummary(m_doc.GetController().GetStats());
            break;
        case ID_PROJECT_DELETE_ALL:
            OnDeleteAll();
            break;
        case ID_HELP_INDEX:
            m_prompts->ShowHelpTopic(HelpTopic::Index);
            break;
        case ID_HELP_WEBSITE:
            m_prompts->OpenUrl(kHomePageUrl);
            break;
        case ID_HELP_DOWNLOAD:
            m_prompts->OpenUrl(kDownloadPageUrl);
            break;
        case ID_APP_ABOUT:
            OnAbout();
            break;
    }
    UpdateCommands();
}

void CMainFrame::UpdateCommands() {
    CProjectStatus status;
    status.open = m_doc.IsOpen() && m_doc.GetController().HasManager();
    if (status.open) {
        status.state = m_doc.GetController().GetState();
        status.listEmpty = m_doc.GetController().GetStats().queued == 0;
    }
    for (const CCommand& command : GetCommands()) {
        m_actions.at(command.id)->setEnabled(command.enabled(status));
    }
}

void CMainFrame::UpdateCaption() {
    const std::string title = m_doc.IsOpen() ? m_doc.GetTitle() : std::string();
    setWindowTitle((title.empty() ? QString("Untitled") : QString::fromStdString(title)) + " - " +
                   kApplicationName);
}

void CMainFrame::UpdateRecentFileMenu() {
    for (QAction* action : m_recentActions) {
        m_fileMenu->removeAction(action);
        action->deleteLater();
    }
    m_recentActions.clear();
    const std::vector<std::string>& files = m_recentFiles.GetFiles();
    for (std::size_t index = 0; index < files.size(); ++index) {
        const std::string path = files[index];
        // An "&" of the path is shown, not taken for the item's key.
        const QString shown = QString::fromStdString(path).replace('&', "&&");
        auto* action = new QAction(QString("&%1 %2").arg(index + 1).arg(shown), this);
        connect(action, &QAction::triggered, this, [this, path] {
            if (SaveModified()) {
                OpenDocumentFile(path);
            }
            UpdateCommands();
        });
        m_fileMenu->insertAction(m_exitSeparator, action);
        m_recentActions.push_back(action);
    }
    m_recentSeparator->setVisible(!files.empty());
}

QString CMainFrame::GetPaneText(int pane) const {
    if (pane == 0 && !statusBar()->currentMessage().isEmpty()) {
        return statusBar()->currentMessage();
    }
    return m_panes[pane]->text();
}

void CMainFrame::RefreshStatusBar() {
    m_panes[1]->setText(QString("%1 files saved").arg(m_stats.filesSaved));
    m_panes[2]->setText(QString("%1 bytes/sec").arg(m_stats.bytes));
}

void CMainFrame::ResetStatusBar() {
    m_stats = {};
    m_panes[0]->setText(kReadyText);
    RefreshStatusBar();
}

void CMainFrame::OnTimer() {
    RefreshStatusBar();
    m_stats.ClearBytes();
    if (!m_doc.AutoSaveIfDue() && !m_autoSaveFailed) {
        // Told once a crawl: the next attempts would only repeat it.
        m_autoSaveFailed = true;
        m_prompts->ShowMessage(kSaveFailedMessage);
    }
}

bool CMainFrame::PrepareToReplace() {
    if (m_doc.IsOpen() && m_doc.GetController().GetState() == Running) {
        if (!m_prompts->AskOkCancel("A project is running, do you want to stop it?")) {
            return false;
        }
        // The crawl may have ended while the question was open.
        if (m_doc.GetController().GetState() == Running) {
            OnStop();
        }
    }
    return SaveModified();
}

bool CMainFrame::SaveModified() {
    return m_doc.SaveModified([this](const std::string& prompt) {
        return m_prompts->AskToSave(QString::fromStdString(prompt));
    });
}

bool CMainFrame::NewProject(const std::string& path) {
    if (!PrepareToReplace()) {
        return false;
    }
    CProjectSettings settings;
    if (!m_prompts->EditProject(settings, true)) {
        return false;
    }
    const std::string target = WriteNewProject(settings, path);
    if (target.empty()) {
        return false;
    }
    m_doc.SetModifiedFlag(false);
    return OpenDocumentFile(target);
}

std::string CMainFrame::WriteNewProject(const CProjectSettings& settings, std::string target) {
    QString proposed =
        QString::fromStdString(CQuillmoorDoc::ProposeFileName(settings.GetStartUrl())) + "." +
        kProjectSuffix;
    // What the user entered in the sheet is kept until a file holds it or
    // the user gives up.
    while (true) {
        if (target.empty()) {
            target = AskFileToSave(kProjectFilter, kProjectSuffix, proposed).toStdString();
            if (target.empty()) {
                return {};
            }
        }
        if (CQuillmoorDoc::WriteNewProject(target, settings)) {
            return target;
        }
        m_prompts->ShowMessage(kSaveFailedMessage);
        proposed = QString::fromStdString(std::filesystem::path(target).filename().string());
        target.clear();
    }
}

bool CMainFrame::OpenProject(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error) &&
        std::filesystem::file_size(path, error) == 0 && !error) {
        return NewProject(path);
    }
    return OpenDocumentFile(path);
}

bool CMainFrame::OpenDocumentFile(const std::string& path) {
    // The views are emptied only once the old crawl can no longer report.
    ReleaseDocument();
    ResetViews();
    ResetStatusBar();
    const bool opened = m_doc.OpenDocument(path);
    if (opened) {
        m_threadView->SetWorkerCount(m_doc.GetSettings().GetThreadCount());
        FillViews();
        m_recentFiles.Add(m_doc.GetPathName());
    } else {
        m_recentFiles.Remove(path);
        m_prompts->ShowWarning(CQuillmoorDoc::GetLoadErrorMessage(m_doc.GetLoadError()));
    }
    UpdateRecentFileMenu();
    UpdateCaption();
    UpdateCommands();
    return opened;
}

QString CMainFrame::AskFileToSave(const QString& filter, const QString& defaultSuffix,
                                  const QString& initialName) {
    const QString chosen = m_prompts->AskSaveFileName(
        filter, defaultSuffix, initialName, CFileDialogFolder::StartFolder(m_doc.GetPathName()));
    CFileDialogFolder::Remember(chosen);
    return chosen;
}

QString CMainFrame::AskFileToOpen(const QString& filter) {
    const QString chosen =
        m_prompts->AskOpenFileName(filter, CFileDialogFolder::StartFolder(m_doc.GetPathName()));
    CFileDialogFolder::Remember(chosen);
    return chosen;
}

void CMainFrame::OnOpen() {
    if (!PrepareToReplace()) {
        return;
    }
    const QString path = AskFileToOpen(kProjectFilter);
    if (path.isEmpty()) {
        return;
    }
    m_doc.SetModifiedFlag(false);
    OpenProject(path.toStdString());
}

void CMainFrame::OnSave() {
    if (!m_doc.Save()) {
        m_prompts->ShowMessage(kSaveFailedMessage);
    }
}

void CMainFrame::OnSaveAs() {
    const QString path = AskFileToSave(
        kProjectFilter, kProjectSuffix,
        QString::fromStdString(std::filesystem::path(m_doc.GetPathName()).filename().string()));
    if (path.isEmpty()) {
        return;
    }
    if (!m_doc.SaveDocument(path.toStdString())) {
        m_prompts->ShowMessage(kSaveFailedMessage);
        return;
    }
    m_recentFiles.Add(m_doc.GetPathName());
    UpdateRecentFileMenu();
    UpdateCaption();
}

void CMainFrame::OnStart() {
    pid_t holder = 0;
    if (!m_doc.LockProject(holder)) {
        m_prompts->ShowWarning(
            QString::fromStdString(CProjectLock::DescribeRefusal(m_doc.GetPathName(), holder)));
        return;
    }
    CCrawlController& controller = m_doc.GetController();
    m_threadView->SetWorkerCount(m_doc.GetSettings().GetThreadCount());
    if (controller.GetState() == Paused) {
        controller.Resume(GetProgramOptions());
        return;
    }
    ResetStatusBar();
    OnSave();
    if (!controller.Start(GetProgramOptions())) {
        m_prompts->ShowMessage(
            QString("Cannot create the download folder %1")
                .arg(QString::fromStdString(m_doc.GetSettings().GetDownloadFolder())));
    }
}

void CMainFrame::OnPause() {
    // The end message of the stopped manager, when it comes, finds the
    // project paused and is ignored.
    if (m_doc.GetController().Pause()) {
        OnSave();
    }
}

void CMainFrame::OnStop() {
    // A paused project ends at once through its end message; a running one
    // ends when its manager's thread has stopped.
    m_doc.GetController().Stop();
}

void CMainFrame::OnProperties() {
    if (m_prompts->EditProject(m_doc.GetSettings(), false)) {
        m_doc.SetModifiedFlag(true);
    }
}

void CMainFrame::OnBrowseOffline() {
    // The list holds the starting URL without its fragment.
    const CUrl start = RemoveFragment(m_doc.GetSettings().GetStartUrl());
    const std::string stored = m_doc.GetController().GetManager()->GetList().GetStoredPath(start);
    if (!stored.empty()) {
        const std::filesystem::path file =
            std::filesystem::path(m_doc.GetSettings().GetDownloadFolder()) / stored;
        m_prompts->OpenWithShell(QString::fromStdString(file.string()));
    }
}

void CMainFrame::OnCreateChm() {
    const QString target = AskFileToSave("HtmlHelp Files (*.chm)", "chm", {});
    if (target.isEmpty()) {
        return;
    }
    CChmRequest request;
    request.downloadFolder = CFilePath(m_doc.GetSettings().GetDownloadFolder());
    // The list holds the starting URL without its fragment.
    request.startUrl = RemoveFragment(m_doc.GetSettings().GetStartUrl());
    request.startStoredPath =
        m_doc.GetController().GetManager()->GetList().GetStoredPath(request.startUrl);
    request.target = CFilePath(target.toStdString());
    CCompileChmDialog dialog(*m_prompts, this);
    if (dialog.Run(request)) {
        m_prompts->OpenWithShell(target);
    }
}

void CMainFrame::OnDeleteAll() {
    if (!m_prompts->AskYesNo(
            "All the URLs in this project will be deleted. Do you want to do this?")) {
        return;
    }
    m_doc.GetController().ClearUrls();
    ResetViews();
    m_doc.SetModifiedFlag(true);
}

void CMainFrame::OnAbout() {
    CAboutDlg(this).exec();
}

void CMainFrame::ReleaseDocument() {
    // Releasing the manager stops a crawl that is not stopped. A crawl that
    // ended on its own may still have its end and byte counts queued; the
    // latter point into the released manager, and the end would be taken
    // for the end of the next project.
    StopFillingViews();
    m_doc.DeleteContents();
    m_queue.DropPostedMessages(WM_DL_STARTED, WM_DL_BYTES);
}

void CMainFrame::ResetViews() {
    StopFillingViews();
    m_dirView->ClearTree();
    m_fileView->DeleteAllItems();
    m_threadView->DeleteAllItems();
}

void CMainFrame::FillViews() {
    if (m_doc.GetController().HasManager()) {
        const std::size_t count = m_doc.GetController().GetManager()->GetList().GetCount();
        m_fileView->ReserveItems(count);
        m_dirView->ReserveFiles(count);
        m_fillNext = 0;
        m_fillTimer.start(0);
        // A small project is shown whole when the open returns.
        FillViewsSlice();
    }
}

void CMainFrame::StopFillingViews() {
    m_fillTimer.stop();
}

void CMainFrame::FillViewsSlice() {
    if (!m_doc.IsOpen() || !m_doc.GetController().HasManager()) {
        StopFillingViews();
        return;
    }
    CDownloadManager& manager = *m_doc.GetController().GetManager();
    const CLocalFileMapping mapping(CFilePath(m_doc.GetSettings().GetDownloadFolder()));
    QElapsedTimer slice;
    slice.start();
    // A crawl started meanwhile adds to the list; what it reports on its
    // own as well is found listed already.
    const CScopedLock lock(manager.GetLock());
    const CDownloadList& list = manager.GetList();
    while (slice.elapsed() < kFillSliceMs) {
        const CDownloadEntry* entry = list.GetEntry(m_fillNext);
        if (entry == nullptr) {
            StopFillingViews();
            return;
        }
        ++m_fillNext;
        ShowListEntry(*entry, mapping);
    }
}

void CMainFrame::ShowListEntry(const CDownloadEntry& entry, const CLocalFileMapping& mapping) {
    if (entry.HasStoredPath()) {
        const CUrl url = entry.GetUrl();
        std::string localPath;
        std::string localUrl;
        mapping.StoredToLocalPath(url, entry.GetStoredPath(), localPath);
        mapping.LocalPathToLocalUrl(url, localPath, localUrl);
        if (!localUrl.empty()) {
            m_dirView->AddSavedFile(localUrl, localPath, false);
        }
        m_fileView->ShowUrlSaved(entry.GetUrlText(), entry.GetResultCode());
    } else if (entry.GetResultCode() != ERR_SUCCESS &&
               entry.GetResultCode() != ERR_ATTEMPT_INTERRUPTED) {
        m_fileView->ShowUrlFailed(entry.GetUrlText(), entry.GetResultCode());
    }
}

void CMainFrame::OnOpenFile() {
    const QString selected = m_fileView->GetSelectedUrl();
    CUrl url;
    if (selected.isEmpty() || !m_doc.IsOpen() || !m_doc.GetController().HasManager() ||
        !url.Parse(selected.toStdString())) {
        return;
    }
    CDownloadManager& manager = *m_doc.GetController().GetManager();
    std::string stored;
    {
        // The file list can be used while the crawl runs.
        const CScopedLock lock(manager.GetLock());
        stored = manager.GetList().GetStoredPath(url);
    }
    std::string localPath;
    if (!stored.empty()) {
        CLocalFileMapping(CFilePath(m_doc.GetSettings().GetDownloadFolder()))
            .StoredToLocalPath(url, stored, localPath);
    }
    if (!localPath.empty()) {
        m_prompts->OpenWithShell(QString::fromStdString(localPath));
    }
}

void CMainFrame::OnOpenUrl() {
    const QString url = m_fileView->GetSelectedUrl();
    if (!url.isEmpty()) {
        m_prompts->OpenUrl(url);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_doc.CanClose() || !SaveModified()) {
        event->ignore();
        return;
    }
    ReleaseDocument();
    event->accept();
}

void CMainFrame::OnCrawlStarted() {
    m_autoSaveFailed = false;
    m_timer.start();
}

void CMainFrame::OnCrawlFinished() {
    if (!m_doc.IsOpen() || !m_doc.GetController().OnCrawlFinished()) {
        return;
    }
    EndProject();
    UpdateCommands();
}

void CMainFrame::EndProject() {
    RefreshStatusBar();
    // The pass may take long: killed during it, the project must still know
    // every page fetched since the last autosave.
    OnSave();
    CUpdateHtmlDialog update(m_queue, *m_prompts, this);
    update.Run(m_doc.GetController().GetManager()->GetList(),
               m_doc.GetSettings().GetDownloadFolder());
    // The pass changed the pages' flags in the list.
    m_doc.SetModifiedFlag(true);
    // Stays after the message box, until the next crawl or project.
    QString counts = QString("%1 files saved, %2 unchanged, %3 failed")
                         .arg(m_stats.filesSaved)
                         .arg(m_doc.GetController().GetManager()->GetUnchangedCount())
                         .arg(m_stats.urlsFailed);
    if (m_stats.urlsSkipped > 0) {
        counts += QString(", %1 skipped").arg(m_stats.urlsSkipped);
    }
    m_panes[0]->setText(counts);
    m_prompts->ShowMessage(
        QString("Project completed: %1 files were downloaded.").arg(m_stats.filesSaved));
    m_timer.stop();
    m_stats = {};
    RefreshStatusBar();
}

void CMainFrame::OnWorkerUrl(int worker, std::uint32_t task, std::string_view url) {
    m_threadView->SetWorkerUrl(worker, task, FromUtf8(url));
}

void CMainFrame::OnWorkerSize(int worker, std::uint32_t task, std::uint32_t size) {
    m_threadView->SetWorkerSize(worker, task, size);
}

void CMainFrame::OnWorkerBytes(int worker, CProgressNotifier& notifier) {
    m_stats.AddBytes(notifier.TakeUnreportedBytes());
    if (const std::uint64_t total = notifier.GetExpectedSize()) {
        const std::uint64_t percent = std::uint64_t{notifier.GetRunningCount()} * 100 / total;
        m_threadView->SetWorkerPercent(worker, static_cast<std::uint32_t>(percent));
    }
}

void CMainFrame::OnFileSaved(int worker, const CDownloadTask& task) {
    m_stats.AddFile();
    m_fileView->ShowUrlSaved(task.item.GetUrl().GetSourceText(), task.resultCode);
    m_dirView->AddSavedFile(task.localUrl, task.localPath, true);
    m_threadView->ClearWorker(worker);
}

void CMainFrame::OnUrlFailed(int worker, const CDownloadTask& task) {
    if (IsSkipResult(task.resultCode)) {
        m_stats.AddSkip();
    } else {
        m_stats.AddFailure();
    }
    m_fileView->ShowUrlFailed(task.item.GetUrl().GetSourceText(), task.resultCode,
                              task.response.status);
    m_threadView->ClearWorker(worker);
}
