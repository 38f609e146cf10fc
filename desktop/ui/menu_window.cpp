#include <desktop/ui/menu_window.hpp>
#include <desktop/ui/plain_label.hpp>

#include <desktop/model/qt_text.hpp>
#include <desktop/ui/account_rows.hpp>
#include <desktop/ui/staging_bar.hpp>

#include <capturekit/model/raw_value.hpp>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tarvo::desktop {

namespace {

QLabel* note(const QString& text, QWidget* parent) {
    auto* label = plainLabel(text, parent);
    label->setWordWrap(true);
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    label->setFont(small);
    return label;
}

QFrame* separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

void showText(QLabel* label, const QString& text) {
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

void setChecked(QCheckBox* box, bool checked) {
    const QSignalBlocker quiet(box);
    box->setChecked(checked);
}

} // namespace

namespace {

// Under the tray icon: a frameless window on top that closes when it loses focus. Not a Qt
// popup, whose contents screen readers cannot reach.
constexpr Qt::WindowFlags dropDownFlags =
    Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;

} // namespace

MenuWindow::MenuWindow(CaptureMenuModel& model, QWidget* parent)
    : QWidget(parent, dropDownFlags), model_(model) {
    setWindowTitle(QStringLiteral("tarvo Capture"));
    connect(&model_, &CaptureMenuModel::changed, this, &MenuWindow::refresh);
    connect(&model_.feed(), &ActivityFeed::changed, this, &MenuWindow::refresh);
    connect(&model_.account(), &AccountController::changed, this, &MenuWindow::refresh);
    connect(&model_.screenshots(), &ScreenshotController::changed, this, &MenuWindow::refresh);
    connect(&model_.selection(), &SelectionController::changed, this, &MenuWindow::refresh);
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
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* staging = new StagingBar(this);
    staging->setMinimumWidth(320);
    layout->addWidget(staging);

    status_ = plainLabel(this);
    QFont bold = status_->font();
    bold.setBold(true);
    status_->setFont(bold);
    lastEvent_ = note(QString(), this);
    layout->addWidget(status_);
    layout->addWidget(lastEvent_);
    layout->addWidget(separator(this));

    account_ = new AccountRows(model_.account(), this);
    layout->addWidget(account_);
    layout->addWidget(separator(this));

    buildScreenshotRows(*layout);
    buildAIRows(*layout);
    buildOutboxRows(*layout);
    layout->addWidget(separator(this));
    buildHotkeyRows(*layout);
    layout->addWidget(separator(this));
    buildSystemRows(*layout);
}

// The switches of the screenshot watcher; they follow the stored settings.
void MenuWindow::buildScreenshotRows(QVBoxLayout& layout) {
    autoCapture_ = new QCheckBox(QStringLiteral("Send new screenshots to stash"), this);
    confirm_ = new QCheckBox(QStringLiteral("Ask before sending each one"), this);
    review_ = new QPushButton(this);
    openFolder_ = new QPushButton(this);
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
}

void MenuWindow::buildAIRows(QVBoxLayout& layout) {
    decideAI_ = new QPushButton(QStringLiteral("AI is off until you decide."), this);
    connect(decideAI_, &QPushButton::clicked, this, [this] {
        hide();
        emit consentRequested();
    });
    useAI_ = new QCheckBox(QStringLiteral("Use AI on captures"), this);
    connect(useAI_, &QCheckBox::clicked, &model_.account(), &AccountController::recordConsent);
    aiOffNote_ = note(QStringLiteral("AI is off: captures are filed exactly as taken — no text "
                                     "pulled from images, nothing titled or suggested."),
                      this);
    layout.addWidget(decideAI_);
    layout.addWidget(useAI_);
    layout.addWidget(aiOffNote_);
}

void MenuWindow::buildOutboxRows(QVBoxLayout& layout) {
    auto* row = new QHBoxLayout;
    outboxLine_ = plainLabel(this);
    tryNow_ = new QPushButton(QStringLiteral("Try now"), this);
    connect(tryNow_, &QPushButton::clicked, this, [this] { model_.drainOutbox(true); });
    row->addWidget(outboxLine_, 1);
    row->addWidget(tryNow_);
    layout.addLayout(row);
}

namespace {

bool isWaylandSession() {
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

// The hot keys' switches and shortcut, shown with the stored settings.
void MenuWindow::buildHotkeyRows(QVBoxLayout& layout) {
    selection_ = new QCheckBox(QStringLiteral("Capture selected text"), this);
    selectionNote_ = note(QString(), this);
    hotkeyStatus_ = note(QString(), this);
    auto* shortcutRow = new QHBoxLayout;
    auto* shortcutLabel = plainLabel(QStringLiteral("Shortcut"), this);
    shortcut_ = new QComboBox(this);
    shortcut_->setAccessibleName(QStringLiteral("Shortcut"));
    shortcutLabel->setBuddy(shortcut_);
    for (const auto combo : capturekit::allCases<HotkeyCombo>()) {
        shortcut_->addItem(QString::fromStdString(glyphs(combo)),
                           qtText(capturekit::rawValue(combo)));
    }
    shortcutRow->addWidget(shortcutLabel);
    shortcutRow->addWidget(shortcut_, 1);
    shortcutHint_ = note(QString(), this);
    quickEntry_ = new QCheckBox(QStringLiteral("Quick task to docket"), this);
    auto* quickNote = note(QStringLiteral("Type a thought, Enter sends it to docket’s inbox and "
                                          "keeps the box open for the next one. Esc closes."),
                           this);
    quickEntryStatus_ = note(QString(), this);
    newTask_ = new QPushButton(QStringLiteral("New task"), this);
    auto& selection = model_.selection();
    connect(selection_, &QCheckBox::toggled, &selection,
            &SelectionController::setSelectionHotkeyEnabled);
    connect(shortcut_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto raw = shortcut_->itemData(index).toString().toStdString();
        if (const auto combo = capturekit::fromRawValue<HotkeyCombo>(raw)) {
            model_.selection().setHotkeyCombo(*combo);
        }
    });
    connect(quickEntry_, &QCheckBox::toggled, &selection,
            &SelectionController::setQuickEntryEnabled);
    connect(newTask_, &QPushButton::clicked, this, [this] {
        if (isPopup()) {
            hide();
        }
        model_.selection().showQuickEntry();
    });
    layout.addWidget(selection_);
    layout.addWidget(selectionNote_);
    layout.addWidget(hotkeyStatus_);
    if (isWaylandSession()) {
        // X11 grabs see only X11 windows there; the desktop's own shortcuts reach every window.
        layout.addWidget(note(QStringLiteral("In this Wayland session these keys reach X11 windows "
                                             "only. To use them everywhere, bind these commands "
                                             "in your desktop’s keyboard settings:\n"
                                             "tarvo-capture-desktop --capture-selection\n"
                                             "tarvo-capture-desktop --quick-entry"),
                              this));
    }
    layout.addLayout(shortcutRow);
    layout.addWidget(shortcutHint_);
    layout.addWidget(quickEntry_);
    layout.addWidget(quickNote);
    layout.addWidget(quickEntryStatus_);
    layout.addWidget(newTask_, 0, Qt::AlignLeft);
}

void MenuWindow::buildSystemRows(QVBoxLayout& layout) {
    launchAtLogin_ = new QCheckBox(QStringLiteral("Launch at login"), this);
    connect(launchAtLogin_, &QCheckBox::clicked, &model_, &CaptureMenuModel::setLaunchAtLogin);
    launchAtLoginStatus_ = note(QString(), this);
    layout.addWidget(launchAtLogin_);
    layout.addWidget(launchAtLoginStatus_);

    tokenToggle_ = new QPushButton(QStringLiteral("Enter a device token…"), this);
    tokenToggle_->setFlat(true);
    tokenRow_ = new QWidget(this);
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
    connect(save, &QPushButton::clicked, this, [this] {
        model_.account().saveDeviceToken(tokenDraft_->text());
        tokenDraft_->clear();
        tokenRow_->hide();
    });
    layout.addWidget(tokenToggle_, 0, Qt::AlignLeft);
    layout.addWidget(tokenRow_);

    auto* quit = new QPushButton(QStringLiteral("Quit"), this);
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

    refreshHotkeyRows();
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
}

void MenuWindow::refreshHotkeyRows() {
    const auto& selection = model_.selection();
    const HotkeyCombo combo = selection.hotkeyCombo();
    setChecked(selection_, selection.hotkeyEnabled());
    selectionNote_->setText(QStringLiteral("Select text anywhere, press %1. Sends after a few "
                                           "seconds — Undo cancels it.")
                                .arg(qtText(shortcutText(combo, 'C'))));
    showText(hotkeyStatus_, selection.hotkeyStatus());
    {
        const QSignalBlocker quiet(shortcut_);
        shortcut_->setCurrentIndex(shortcut_->findData(qtText(capturekit::rawValue(combo))));
    }
    showText(shortcutHint_, hint(combo) ? qtText(*hint(combo)) : QString());
    setChecked(quickEntry_, selection.quickEntryEnabled());
    showText(quickEntryStatus_, selection.quickEntryStatus());
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
    adjustSize();
    QPoint place = anchor;
    if (const QScreen* screen = QGuiApplication::screenAt(anchor)
                                    ? QGuiApplication::screenAt(anchor)
                                    : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        place.setX(std::clamp(anchor.x() - width() / 2, area.left(), area.right() - width()));
        place.setY(anchor.y() > area.center().y() ? anchor.y() - height() : anchor.y());
        place.setY(
            std::clamp(place.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    }
    move(place);
    show();
    raise();
    activateWindow();
}

void MenuWindow::showAsWindow() {
    ensureBuilt();
    setFlagsKeepingGeometry(Qt::Window);
    show();
    raise();
    activateWindow();
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

void MenuWindow::showEvent(QShowEvent* event) {
    wasActive_ = false;
    model_.refreshOutboxCount();
    QWidget::showEvent(event);
}

// What the person typed belongs to this opening of the menu only.
void MenuWindow::hideEvent(QHideEvent* event) {
    if (account_ != nullptr) {
        account_->reset();
        tokenDraft_->clear();
        tokenRow_->hide();
    }
    QWidget::hideEvent(event);
}

} // namespace tarvo::desktop
