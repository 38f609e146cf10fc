#include <desktop/ui/accessible_role.hpp>
#include <desktop/ui/panel_placement.hpp>
#include <desktop/ui/plain_label.hpp>
#include <desktop/ui/quick_entry_panel.hpp>

#include <capturekit/platform/text.hpp>

#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QVBoxLayout>

namespace tarvo::desktop {

QuickEntryView::QuickEntryView(QuickEntrySend send, std::function<void()> close, QWidget* parent)
    : QWidget(parent), send_(std::move(send)), close_(std::move(close)) {
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout();
    const QIcon symbol = QIcon::fromTheme(QStringLiteral("view-list-details"));
    if (!symbol.isNull()) {
        auto* icon = plainLabel(this);
        icon->setPixmap(symbol.pixmap(20, 20));
        row->addWidget(icon);
    }
    field_ = new QLineEdit(this);
    field_->setPlaceholderText(QString::fromUtf8(placeholder));
    field_->setAccessibleName(QString::fromUtf8(placeholder));
    QFont larger = field_->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.3);
    field_->setFont(larger);
    connect(field_, &QLineEdit::returnPressed, this, &QuickEntryView::submit);
    row->addWidget(field_, 1);
    layout->addLayout(row);
    caption_ = plainLabel(this);
    caption_->setWordWrap(true); // a long reason is read whole, the box grows for it
    layout->addWidget(caption_);
    setStatus(std::nullopt);
}

void QuickEntryView::setStatus(const std::optional<QString>& status) {
    const QString line = status.value_or(QString::fromUtf8(caption));
    caption_->setText(line);
    caption_->setAccessibleName(line);
    if (window() != this) {
        window()->adjustSize();
    }
}

void QuickEntryView::focusField() {
    setStatus(std::nullopt);
    field_->setFocus(Qt::ActiveWindowFocusReason);
}

void QuickEntryView::submit() {
    // A second Enter while the first text is on its way would send it twice.
    if (sending_) {
        return;
    }
    const std::string text = capturekit::text::trimmed(field_->text().toStdString());
    if (text.empty()) {
        close_();
        return;
    }
    sending_ = true;
    QPointer<QuickEntryView> self(this);
    send_(text, [self](QuickEntryOutcome outcome) {
        if (self) {
            self->finish(outcome);
        }
    });
}

void QuickEntryView::finish(const QuickEntryOutcome& outcome) {
    sending_ = false;
    const QString reason = QString::fromStdString(outcome.reason);
    switch (outcome.kind) {
    case QuickEntryOutcome::Kind::sent:
        field_->clear();
        setStatus(QStringLiteral("Sent to docket ✓"));
        break;
    case QuickEntryOutcome::Kind::queued:
        field_->clear();
        setStatus(QStringLiteral("Saved — will send when it can (") + reason + QStringLiteral(")"));
        break;
    case QuickEntryOutcome::Kind::failed:
        setStatus(QStringLiteral("Couldn’t send — ") + reason +
                  QStringLiteral(". Your text is still here."));
        break;
    }
    field_->setFocus(Qt::OtherFocusReason);
}

void QuickEntryView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close_();
        return;
    }
    QWidget::keyPressEvent(event);
}

void QuickEntryView::mousePressEvent(QMouseEvent* event) {
    dragOffset_ = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void QuickEntryView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) != 0) {
        window()->move(event->globalPosition().toPoint() - dragOffset_);
    }
}

QuickEntryPanelController::QuickEntryPanelController(FrontmostApp& frontmost, QObject* parent)
    : QObject(parent), frontmost_(frontmost) {}

void QuickEntryPanelController::setSend(QuickEntrySend send) {
    send_ = std::move(send);
}

QuickEntryPanelController::~QuickEntryPanelController() = default;

void QuickEntryPanelController::build() {
    panel_ = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint |
                                                    Qt::WindowStaysOnTopHint);
    panel_->setWindowTitle(QStringLiteral("Quick task to docket"));
    panel_->setFixedWidth(panelWidth);
    panel_->setMinimumHeight(panelHeight);
    setAccessibleRole(*panel_, QAccessible::Window);
    panel_->setAccessibleName(panel_->windowTitle());
    auto* layout = new QVBoxLayout(panel_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    QPointer<QuickEntryPanelController> self(this);
    const auto send = [self](const std::string& text, auto done) {
        if (self && self->send_) {
            self->send_(text, std::move(done));
        }
    };
    view_ = new QuickEntryView(send, [self] {
        if (self) {
            self->close();
        }
    });
    layout->addWidget(view_);
}

void QuickEntryPanelController::show() {
    if (!panel_) {
        build();
    }
    if (!previousApp_) {
        previousApp_ = frontmost_.active();
    }
    place();
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
    view_->focusField();
}

void QuickEntryPanelController::close() {
    if (panel_) {
        panel_->hide();
    }
    if (previousApp_) {
        frontmost_.activate(*previousApp_);
        previousApp_.reset();
    }
}

bool QuickEntryPanelController::isShowing() const {
    return panel_ && panel_->isVisible();
}

void QuickEntryPanelController::place() {
    if (const auto at = PanelPlacement::topCentre(QSize(panelWidth, panelHeight), topDistance,
                                                  PanelPlacement::screenOfFrontmost(frontmost_))) {
        panel_->move(*at);
    }
}

} // namespace tarvo::desktop
