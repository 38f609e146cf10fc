#include <desktop/ui/accessible_role.hpp>
#include <desktop/ui/confirm_panel.hpp>
#include <desktop/ui/panel_placement.hpp>
#include <desktop/ui/plain_label.hpp>

#include <desktop/imaging/jpeg_data_uri.hpp>

#include <capturekit/platform/text.hpp>

#include <QAbstractButton>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace tarvo::desktop {

namespace {

constexpr int edgeDistance = 20;
constexpr auto headingText = "Send to stash?";
constexpr auto rapportText = "Use as someone's photo in rapport";
constexpr auto namePlaceholder = "Their name";
constexpr auto noteText = "Matched by name. If it isn't an exact match it goes to rapport for "
                          "review — never guessed onto the wrong person.";

QImage previewOf(const std::filesystem::path& file, const std::stop_token& stop) {
    if (stop.stop_requested()) {
        return {}; // a newer shot came before this one's turn
    }
    return ScreenshotImage::decodeFile(file, ConfirmPopupView::previewSide).value_or(QImage());
}

QLabel* label(const QString& text, QWidget* parent) {
    auto* made = plainLabel(text, parent);
    made->setAccessibleName(text);
    return made;
}

} // namespace

// The screenshot, drawn as large as its area allows without ever being enlarged; empty until its
// preview has been decoded.
class PreviewView final : public QWidget {
public:
    explicit PreviewView(QWidget* parent) : QWidget(parent) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setMinimumHeight(24);
        setAccessibleName(QStringLiteral("Preview"));
    }

    void setImage(const QImage& image) {
        image_ = image;
        update();
    }
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (image_.isNull()) {
            return;
        }
        QSize size = image_.size();
        if (size.width() > width() || size.height() > height()) {
            size = size.scaled(this->size(), Qt::KeepAspectRatio);
        }
        const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2),
                           size);
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image_);
    }

private:
    QImage image_;
};

QPushButton* ConfirmPopupView::button(const QString& text, QWidget* parent) {
    auto* made = new QPushButton(text, parent);
    made->setAccessibleName(text);
    // Enter and Space press the focused button, as everywhere on the desktop.
    made->setAutoDefault(true);
    return made;
}

ConfirmPopupView::ConfirmPopupView(const DetectedScreenshot& shot, int remaining,
                                   std::optional<std::string> nameHint, Actions actions,
                                   QWidget* parent)
    : QWidget(parent), shot_(shot), nameHint_(std::move(nameHint)), actions_(std::move(actions)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(6);

    auto* heading = new QHBoxLayout;
    auto* icon = plainLabel(this);
    icon->setPixmap(QIcon::fromTheme(QStringLiteral("camera-photo")).pixmap(16, 16));
    heading->addWidget(icon);
    auto* title = label(QString::fromUtf8(headingText), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    heading->addWidget(title, 1);
    if (remaining >= 1) {
        heading->addWidget(label(QString::number(remaining) + QStringLiteral(" more"), this));
    }
    layout->addLayout(heading);

    preview_ = new PreviewView(this);
    layout->addWidget(preview_, 1);
    auto* name = label(QString::fromStdString(shot.fileName()), this);
    name->setTextFormat(Qt::PlainText);
    layout->addWidget(name);

    rapportBox_ = new QCheckBox(QString::fromUtf8(rapportText), this);
    rapportBox_->setAccessibleName(rapportBox_->text());
    layout->addWidget(rapportBox_);
    nameField_ = new QLineEdit(this);
    nameField_->setPlaceholderText(QString::fromUtf8(namePlaceholder));
    nameField_->setAccessibleName(nameField_->placeholderText());
    layout->addWidget(nameField_);
    note_ = label(QString::fromUtf8(noteText), this);
    note_->setWordWrap(true);
    QFont small = note_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    note_->setFont(small);
    layout->addWidget(note_);

    auto* buttons = new QHBoxLayout;
    auto* skip = button(QStringLiteral("Skip"), this);
    connect(skip, &QPushButton::clicked, this, [this] { actions_.onSkip(); });
    buttons->addWidget(skip);
    if (remaining >= 1) {
        auto* skipAll = button(QStringLiteral("Skip all"), this);
        connect(skipAll, &QPushButton::clicked, this, [this] { actions_.onSkipAll(); });
        buttons->addWidget(skipAll);
        auto* sendAll = button(QStringLiteral("Send all ") + QString::number(remaining + 1), this);
        connect(sendAll, &QPushButton::clicked, this, [this] { actions_.onSendAll(); });
        buttons->addWidget(sendAll);
    }
    buttons->addStretch(1);
    sendButton_ = button(QStringLiteral("Send"), this);
    sendButton_->setDefault(true);
    connect(sendButton_, &QPushButton::clicked, this, &ConfirmPopupView::send);
    buttons->addWidget(sendButton_);
    layout->addLayout(buttons);

    connect(rapportBox_, &QCheckBox::toggled, this, &ConfirmPopupView::setToRapport);
    connect(nameField_, &QLineEdit::textChanged, this, [this](const QString& text) {
        person_ = text;
        refreshSendButton();
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { actions_.onSkip(); });
    connect(nameField_, &QLineEdit::returnPressed, this, &ConfirmPopupView::send);
    setToRapport(false);
    sendButton_->setFocus(); // where the keyboard starts once the panel is clicked
}

void ConfirmPopupView::restoreChoice(bool toRapport, const QString& person) {
    nameField_->setText(person);
    rapportBox_->setChecked(toRapport);
}

void ConfirmPopupView::focusControl(const QString& name) {
    for (auto* widget : findChildren<QWidget*>()) {
        if (widget->accessibleName() == name && widget->isVisibleTo(this) &&
            widget->focusPolicy() != Qt::NoFocus) {
            widget->setFocus();
            return;
        }
    }
    sendButton_->setFocus();
}

void ConfirmPopupView::setPreview(const QImage& image) {
    preview_->setImage(image);
}

QImage ConfirmPopupView::preview() const {
    return preview_->image();
}

void ConfirmPopupView::setToRapport(bool on) {
    toRapport_ = on;
    if (on && person_.isEmpty() && nameHint_) {
        nameField_->setText(QString::fromStdString(*nameHint_));
        nameField_->selectAll(); // a hint: typing replaces it
    }
    nameField_->setVisible(on);
    note_->setVisible(on);
    sendButton_->setText(on ? QStringLiteral("Set photo") : QStringLiteral("Send"));
    sendButton_->setAccessibleName(sendButton_->text());
    if (on) {
        nameField_->setFocus();
    }
    refreshSendButton();
}

void ConfirmPopupView::refreshSendButton() {
    sendButton_->setEnabled(!toRapport_ || !capturekit::text::isBlank(person_.toStdString()));
}

void ConfirmPopupView::send() {
    if (!sendButton_->isEnabled()) {
        return;
    }
    if (toRapport_) {
        actions_.onSend(DesktopUploader::Route::rapportAvatar(
            capturekit::text::trimmed(person_.toStdString())));
    } else {
        actions_.onSend(DesktopUploader::Route::stash());
    }
}

// Return sends while the focus is on no button (a focused button takes Enter for itself).
void ConfirmPopupView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && qobject_cast<QAbstractButton*>(focusWidget()) == nullptr) {
        send();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ConfirmPopupView::mousePressEvent(QMouseEvent* event) {
    dragOffset_ = event->globalPosition().toPoint() - window()->pos();
    QWidget::mousePressEvent(event);
}

void ConfirmPopupView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) != 0) {
        window()->move(event->globalPosition().toPoint() - dragOffset_);
    }
    QWidget::mouseMoveEvent(event);
}

ConfirmPanelController::ConfirmPanelController(const FrontmostApp* frontmost, QObject* parent)
    : QObject(parent), frontmost_(frontmost), tasks_(std::make_unique<BackgroundTasks>(*this)) {}

ConfirmPanelController::~ConfirmPanelController() = default;

void ConfirmPanelController::setActions(Actions actions) {
    callbacks_ = std::move(actions);
}

bool ConfirmPanelController::isVisible() const {
    return panel_ && panel_->isVisible();
}

void ConfirmPanelController::show(const DetectedScreenshot& shot, int remaining,
                                  const std::optional<std::string>& nameHint) {
    ConfirmPopupView::Actions actions = forwardingActions();
    const bool first = !panel_;
    if (first) {
        panel_ = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint |
                                                        Qt::WindowStaysOnTopHint);
        panel_->setWindowTitle(QString::fromUtf8(headingText));
        panel_->setAccessibleName(panel_->windowTitle());
        setAccessibleRole(*panel_, QAccessible::Window);
        // It comes uninvited: keys meant for another window must never reach it. A click gives
        // it the focus.
        panel_->setAttribute(Qt::WA_ShowWithoutActivating, true);
        panel_->setFixedSize(ConfirmPopupView::panelWidth, ConfirmPopupView::panelHeight);
        new QVBoxLayout(panel_.get());
        panel_->layout()->setContentsMargins(0, 0, 0, 0);
        place();
    }
    auto* view = new ConfirmPopupView(shot, remaining, nameHint, std::move(actions), panel_.get());
    const bool sameShot = view_ != nullptr && view_->shot().fingerprint == shot.fingerprint;
    const QWidget* focused = panel_->isActiveWindow() ? panel_->focusWidget() : nullptr;
    const QString focusedName = focused != nullptr ? focused->accessibleName() : QString();
    if (view_ != nullptr) {
        if (sameShot) {
            view->restoreChoice(view_->toRapport(), view_->person());
            view->setPreview(view_->preview());
        }
        // It may be the sender of the click that led here: gone once that click is done.
        view_->hide();
        view_->deleteLater();
    }
    view_ = view;
    if (!sameShot) {
        loadPreview(shot);
    }
    panel_->layout()->addWidget(view_);
    view_->show(); // a child added to a shown window stays hidden until asked
    panel_->show();
    panel_->raise();
    if (!focusedName.isEmpty()) {
        view_->focusControl(focusedName); // the keyboard stays where the person was
    }
}

// The view calls back through the controller, and only while the controller is there.
ConfirmPopupView::Actions ConfirmPanelController::forwardingActions() {
    const QPointer<ConfirmPanelController> self(this);
    const auto forward = [self](std::function<void()> Actions::*action) {
        return [self, action] {
            if (self && self->callbacks_.*action) {
                (self->callbacks_.*action)();
            }
        };
    };
    return {
        .onSend =
            [self](DesktopUploader::Route route) {
                if (self && self->callbacks_.onSend) {
                    self->callbacks_.onSend(std::move(route));
                }
            },
        .onSkip = forward(&Actions::onSkip),
        .onSendAll = forward(&Actions::onSendAll),
        .onSkipAll = forward(&Actions::onSkipAll),
    };
}

// Decoded on the previews' lane; the result is shown only if the view still shows that shot.
void ConfirmPanelController::loadPreview(const DetectedScreenshot& shot) {
    previewTask_.cancel();
    previewTask_ = tasks_->runOn(
        previews_, [file = shot.url](std::stop_token stop) { return previewOf(file, stop); },
        [this, fingerprint = shot.fingerprint](QImage image) {
            if (view_ != nullptr && view_->shot().fingerprint == fingerprint) {
                view_->setPreview(image);
            }
        });
}

void ConfirmPanelController::hide() {
    if (panel_) {
        panel_->hide();
    }
}

void ConfirmPanelController::place() {
    const QSize size(ConfirmPopupView::panelWidth, ConfirmPopupView::panelHeight);
    const QScreen* screen =
        frontmost_ != nullptr ? PanelPlacement::screenOfFrontmost(*frontmost_) : nullptr;
    if (const auto at = PanelPlacement::bottomRight(size, edgeDistance, screen)) {
        panel_->move(*at);
    }
}

} // namespace tarvo::desktop
