#include <desktop/ui/menu_window.hpp>

#include <desktop/model/qt_text.hpp>
#include <desktop/ui/account_rows.hpp>
#include <desktop/ui/hotkey_rows.hpp>
#include <desktop/ui/menu_rows.hpp>
#include <desktop/ui/staging_bar.hpp>
#include <desktop/ui/window_fit.hpp>

#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarvo::desktop {

using namespace MenuRows;

namespace {

// Under the tray icon: a frameless window on top that closes when it loses focus. Not a Qt
// popup, whose contents screen readers cannot reach.
constexpr Qt::WindowFlags dropDownFlags =
    Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;

} // namespace

MenuWindow::MenuWindow(CaptureMenuModel& model, QWidget* parent)
    : QWidget(parent, dropDownFlags), model_(model) {
    setWindowTitle(QStringLiteral("tarvo Capture"));
    setAccessibleName(windowTitle());
    setAccessibleRole(*this, QAccessible::Window);
    // Many changes in one turn of the event loop (ten thousand screenshots arriving at once) make
    // one refresh, once the loop is free again.
    refreshSoon_.setSingleShot(true);
    refreshSoon_.setInterval(0);
    connect(&refreshSoon_, &QTimer::timeout, this, &MenuWindow::refresh);
    const auto soon = [this] {
        refreshSoon_.start();
    };
    connect(&model_, &CaptureMenuModel::changed, this, soon);
    connect(&model_.feed(), &ActivityFeed::changed, this, soon);
    connect(&model_.account(), &AccountController::changed, this, soon);
    connect(&model_.screenshots(), &ScreenshotController::changed, this, soon);
    connect(&model_.selection(), &SelectionController::changed, this, soon);
}

// The rows are made when the menu is first shown: an app that stays in the tray keeps no widgets
// (nor their fonts) in memory until then.
void MenuWindow::ensureBuilt() {
    if (status_ == nullptr) {
        build();
        refresh();
    }
}

void MenuWindow::build() {
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    content_ = new QWidget(scroll_);
    content_->installEventFilter(this);
    frame->addWidget(scroll_);

    auto* layout = new QVBoxLayout(content_);
    auto* staging = new StagingBar(content_);
    staging->setMinimumWidth(320);
    layout->addWidget(staging);

    status_ = plainLabel(content_);
    QFont bold = status_->font();
    bold.setBold(true);
    status_->setFont(bold);
    lastEvent_ = note(QString(), content_);
    layout->addWidget(status_);
    layout->addWidget(lastEvent_);
    layout->addWidget(separator(content_));

    account_ = new AccountRows(model_.account(), content_);
    layout->addWidget(account_);
    layout->addWidget(separator(content_));

    buildScreenshotRows(*layout);
    buildAIRows(*layout);
    buildOutboxRows(*layout);
    layout->addWidget(separator(content_));
    hotkeys_ = new HotkeyRows(model_.selection(), content_);
    connect(hotkeys_, &HotkeyRows::newTaskRequested, this, [this] {
        if (isPopup()) {
            hide();
        }
        model_.selection().showQuickEntry();
    });
    layout->addWidget(hotkeys_);
    layout->addWidget(separator(content_));
    buildSystemRows(*layout);
    layout->addStretch(1);
    scroll_->setWidget(content_);
}

// Hides a drop-down menu, then hands on: the window the signal opens takes the focus.
void MenuWindow::leaveFor(void (MenuWindow::*signal)()) {
    if (isPopup()) {
        hide();
    }
    emit(this->*signal)();
}

// The switches of the screenshot watcher; they follow the stored settings.
void MenuWindow::buildScreenshotRows(QVBoxLayout& layout) {
    autoCapture_ = new QCheckBox(QStringLiteral("Send new screenshots to stash"), content_);
    confirm_ = new QCheckBox(QStringLiteral("Ask before sending each one"), content_);
    review_ = new QPushButton(content_);
    openFolder_ = new QPushButton(content_);
    // Toggled, not clicked: assistive technologies toggle a check box without clicking it.
    auto& screenshots = model_.screenshots();
    connect(autoCapture_, &QCheckBox::toggled, &screenshots, &ScreenshotController::setAutoCapture);
    connect(confirm_, &QCheckBox::toggled, &screenshots,
            &ScreenshotController::setConfirmBeforeSending);
    connect(review_, &QPushButton::clicked, &screenshots, &ScreenshotController::refreshQueue);
    connect(openFolder_, &QPushButton::clicked, &screenshots,
            &ScreenshotController::openScreenshotFolder);
    layout.addWidget(autoCapture_);
    layout.addWidget(confirm_);
    layout.addWidget(review_, 0, Qt::AlignLeft);
    layout.addWidget(openFolder_, 0, Qt::AlignLeft);

    folderLine_ = note(QString(), content_);
    auto* chooseFolder = new QPushButton(QStringLiteral("Screenshot folder…"), content_);
    useDesktopFolder_ = new QPushButton(QStringLiteral("Use the desktop’s folder"), content_);
    connect(chooseFolder, &QPushButton::clicked, this, &MenuWindow::askForFolder);
    connect(useDesktopFolder_, &QPushButton::clicked, &screenshots,
            &ScreenshotController::useDesktopFolder);
    auto* folderButtons = new QHBoxLayout;
    folderButtons->addWidget(chooseFolder);
    folderButtons->addWidget(useDesktopFolder_);
    folderButtons->addStretch(1);
    layout.addWidget(folderLine_);
    layout.addLayout(folderButtons);
}

// A folder chooser of its own, not modal: the menu goes on answering meanwhile.
void MenuWindow::askForFolder() {
    auto* chooser = new QFileDialog(nullptr, QStringLiteral("Screenshot folder"));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    std::filesystem::path start = model_.screenshots().watchedFolder();
    std::error_code error;
    while (!start.empty() && !std::filesystem::is_directory(start, error) &&
           start != start.root_path()) {
        start = start.parent_path();
    }
    chooser->setDirectory(QString::fromStdString(start.string()));
    connect(chooser, &QFileDialog::fileSelected, &model_.screenshots(),
            &ScreenshotController::chooseFolder);
    if (isPopup()) {
        hide();
    }
    chooser->open();
}

void MenuWindow::buildAIRows(QVBoxLayout& layout) {
    decideAI_ = new QPushButton(QStringLiteral("AI is off until you decide."), content_);
    connect(decideAI_, &QPushButton::clicked, this,
            [this] { leaveFor(&MenuWindow::consentRequested); });
    useAI_ = new QCheckBox(QStringLiteral("Use AI on captures"), content_);
    connect(useAI_, &QCheckBox::clicked, &model_.account(), &AccountController::recordConsent);
    aiOffNote_ = note(QStringLiteral("AI is off: captures are filed exactly as taken — no text "
                                     "pulled from images, nothing titled or suggested."),
                      content_);
    layout.addWidget(decideAI_);
    layout.addWidget(useAI_);
    layout.addWidget(aiOffNote_);
}

void MenuWindow::buildOutboxRows(QVBoxLayout& layout) {
    auto* row = new QHBoxLayout;
    outboxLine_ = plainLabel(content_);
    tryNow_ = new QPushButton(QStringLiteral("Try now"), content_);
    connect(tryNow_, &QPushButton::clicked, this, [this] { model_.drainOutbox(true); });
    row->addWidget(outboxLine_, 1);
    row->addWidget(tryNow_);
    layout.addLayout(row);
}

void MenuWindow::buildSystemRows(QVBoxLayout& layout) {
    launchAtLogin_ = new QCheckBox(QStringLiteral("Launch at login"), content_);
    connect(launchAtLogin_, &QCheckBox::clicked, &model_, &CaptureMenuModel::setLaunchAtLogin);
    launchAtLoginStatus_ = note(QString(), content_);
    layout.addWidget(launchAtLogin_);
    layout.addWidget(launchAtLoginStatus_);

    tokenToggle_ = new QPushButton(QStringLiteral("Enter a device token…"), content_);
    tokenToggle_->setFlat(true);
    tokenRow_ = new QWidget(content_);
    auto* tokenLayout = new QHBoxLayout(tokenRow_);
    tokenLayout->setContentsMargins(0, 0, 0, 0);
    tokenDraft_ = new QLineEdit(tokenRow_);
    tokenDraft_->setPlaceholderText(QStringLiteral("Device token"));
    tokenDraft_->setAccessibleName(QStringLiteral("Device token"));
    tokenDraft_->setEchoMode(QLineEdit::Password);
    auto* save = new QPushButton(QStringLiteral("Save"), tokenRow_);
    tokenLayout->addWidget(tokenDraft_, 1);
    tokenLayout->addWidget(save);
    tokenRow_->hide();
    connect(tokenToggle_, &QPushButton::clicked, this,
            [this] { tokenRow_->setVisible(!tokenRow_->isVisible()); });
    const auto saveToken = [this] {
        model_.account().saveDeviceToken(tokenDraft_->text());
        tokenDraft_->clear();
        tokenRow_->hide();
    };
    connect(save, &QPushButton::clicked, this, saveToken);
    connect(tokenDraft_, &QLineEdit::returnPressed, this, saveToken);
    layout.addWidget(tokenToggle_, 0, Qt::AlignLeft);
    layout.addWidget(tokenRow_);

    auto* about = new QPushButton(QStringLiteral("About tarvo Capture"), content_);
    about->setFlat(true);
    connect(about, &QPushButton::clicked, this, [this] { leaveFor(&MenuWindow::aboutRequested); });
    layout.addWidget(about, 0, Qt::AlignLeft);
    auto* quit = new QPushButton(QStringLiteral("Quit"), content_);
    connect(quit, &QPushButton::clicked, this, [this] {
        hide();
        emit quitRequested();
    });
    layout.addWidget(quit, 0, Qt::AlignLeft);
}

void MenuWindow::refresh() {
    if (status_ == nullptr) {
        return;
    }
    const auto& feed = model_.feed();
    showText(status_, feed.status());
    showText(lastEvent_, feed.lastEvent());
    account_->refresh();
    refreshScreenshotRows();

    const auto& account = model_.account();
    decideAI_->setVisible(!account.aiDecided());
    useAI_->setVisible(account.aiDecided());
    setChecked(useAI_, account.aiGranted());
    aiOffNote_->setVisible(!account.aiGranted());

    const bool waiting = feed.outboxCount() >= 1;
    outboxLine_->setText(QStringLiteral("%1 waiting to send").arg(feed.outboxCount()));
    outboxLine_->setVisible(waiting);
    tryNow_->setVisible(waiting);

    hotkeys_->refresh();
    setChecked(launchAtLogin_, model_.launchAtLogin());
    showText(launchAtLoginStatus_, model_.launchAtLoginStatus());
}

void MenuWindow::refreshScreenshotRows() {
    const auto& screenshots = model_.screenshots();
    setChecked(autoCapture_, screenshots.isEnabled());
    setChecked(confirm_, screenshots.confirmBeforeSending());
    const auto toReview = static_cast<int>(screenshots.pendingQueue().size());
    review_->setText(QStringLiteral("Review %1 waiting").arg(toReview));
    review_->setVisible(toReview >= 1);
    openFolder_->setText("Open " + screenshots.watchedFolderName());
    folderLine_->setText(QStringLiteral("Screenshot folder: ") + screenshots.watchedFolderText());
    useDesktopFolder_->setVisible(screenshots.hasChosenFolder());
}

bool MenuWindow::isPopup() const {
    return windowFlags() == dropDownFlags;
}

void MenuWindow::setFlagsKeepingGeometry(Qt::WindowFlags flags) {
    if (windowFlags() != flags) {
        setWindowFlags(flags);
    }
}

void MenuWindow::popUpAt(const QPoint& anchor) {
    ensureBuilt();
    setFlagsKeepingGeometry(dropDownFlags);
    anchor_ = anchor;
    screen_ = WindowFit::screenAt(anchor);
    fit();
    present();
}

void MenuWindow::showAsWindow() {
    ensureBuilt();
    setFlagsKeepingGeometry(Qt::Window);
    if (!isVisible()) {
        screen_ = WindowFit::screenAt(geometry().center());
    }
    fit();
    present();
}

void MenuWindow::present() {
    WindowFit::showFocusAtOnce(*this);
    show();
    raise();
    activateWindow();
}

void MenuWindow::fit() {
    QScreen* screen = screen_ != nullptr ? screen_.data() : WindowFit::screenAt(pos());
    const QRect area = WindowFit::usableArea(*this, *screen);
    content_->adjustSize();
    const QSize rows = content_->sizeHint();
    const bool scrolls = rows.height() > area.height();
    const int scrollBar = scrolls ? scroll_->verticalScrollBar()->sizeHint().width() : 0;
    const QSize size = WindowFit::bounded(QSize(rows.width() + scrollBar, rows.height()), area);
    resize(size);
    QRect frame(pos(), size);
    if (isPopup()) {
        // Under the icon, or above it when the tray is at the bottom.
        frame.moveTopLeft(QPoint(anchor_.x() - size.width() / 2, anchor_.y() > area.center().y()
                                                                     ? anchor_.y() - size.height()
                                                                     : anchor_.y()));
    }
    move(WindowFit::inside(frame, area));
}

bool MenuWindow::eventFilter(QObject* watched, QEvent* event) {
    // Rows shown or hidden (the sign-in form, a status line) change the height the menu needs.
    if (watched == content_ && event->type() == QEvent::LayoutRequest && isVisible()) {
        QTimer::singleShot(0, this, [this] {
            if (isVisible()) {
                fit();
            }
        });
    }
    return QWidget::eventFilter(watched, event);
}

void MenuWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isPopup()) {
        if (isActiveWindow()) {
            wasActive_ = true;
        } else if (wasActive_ && isVisible()) {
            sinceFocusLoss_.start();
            hide();
        }
    }
    QWidget::changeEvent(event);
}

bool MenuWindow::justClosedByFocusLoss() const {
    return sinceFocusLoss_.isValid() && sinceFocusLoss_.elapsed() < 400;
}

void MenuWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && isPopup()) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

// What the command line or another surface changed meanwhile shows once the menu opens.
void MenuWindow::showEvent(QShowEvent* event) {
    wasActive_ = false;
    model_.refreshOutboxCount();
    model_.account().refreshFromStore();
    QWidget::showEvent(event);
}

// A typed device token belongs to this opening of the menu only. The sign-in form keeps what was
// typed: the menu closes when the person looks up a password in another window.
void MenuWindow::hideEvent(QHideEvent* event) {
    if (tokenDraft_ != nullptr) {
        tokenDraft_->clear();
        tokenRow_->hide();
    }
    QWidget::hideEvent(event);
}

} // namespace tarvo::desktop
