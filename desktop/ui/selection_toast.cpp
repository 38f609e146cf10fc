#include <desktop/ui/panel_placement.hpp>
#include <desktop/ui/plain_label.hpp>
#include <desktop/ui/selection_toast.hpp>

#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvo::desktop {

namespace {

constexpr int edgeDistance = 20;
// The toast shows the start of a long capture; the whole text is still what is sent.
constexpr qsizetype shownCharacters = 400;

QString shownText(const QString& text) {
    if (text.size() <= shownCharacters) {
        return text;
    }
    qsizetype cut = shownCharacters;
    if (text.at(cut - 1).isHighSurrogate()) {
        --cut;
    }
    return text.left(cut) + QStringLiteral("…");
}

QLabel* label(const QString& text, QWidget* parent) {
    auto* item = plainLabel(text, parent);
    item->setAccessibleName(text);
    return item;
}

} // namespace

SelectionToastView::SelectionToastView(const QString& text, const std::optional<QString>& sourceApp,
                                       std::chrono::milliseconds seconds,
                                       std::function<void()> onUndo, QWidget* parent)
    : QWidget(parent), seconds_(seconds), remaining_(seconds) {
    auto* layout = new QVBoxLayout(this);
    auto* header = new QHBoxLayout();
    const QIcon symbol = QIcon::fromTheme(QStringLiteral("edit-find"));
    if (!symbol.isNull()) {
        auto* icon = plainLabel(this);
        icon->setPixmap(symbol.pixmap(16, 16));
        header->addWidget(icon);
    }
    auto* title = label(sourceApp ? QStringLiteral("Captured from ") + *sourceApp
                                  : QStringLiteral("Captured"),
                        this);
    QFont semibold = title->font();
    semibold.setWeight(QFont::DemiBold);
    title->setFont(semibold);
    header->addWidget(title, 1);
    auto* undo = new QPushButton(QStringLiteral("Undo"), this);
    undo->setAccessibleName(QStringLiteral("Undo"));
    undo->setFlat(true);
    undo->setFocusPolicy(Qt::NoFocus);
    connect(undo, &QPushButton::clicked, this, [onUndo = std::move(onUndo)] { onUndo(); });
    header->addWidget(undo);
    layout->addLayout(header);

    auto* body = label(shownText(text), this);
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    body->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    layout->addWidget(body, 1);

    bar_ = new QProgressBar(this);
    bar_->setRange(0, static_cast<int>(seconds_ / tick));
    bar_->setValue(bar_->maximum());
    bar_->setTextVisible(false);
    bar_->setFixedHeight(4);
    bar_->setAccessibleName(QStringLiteral("Time left to undo"));
    layout->addWidget(bar_);

    ticker_.setInterval(tick);
    connect(&ticker_, &QTimer::timeout, this, &SelectionToastView::countDown);
    ticker_.start();
}

void SelectionToastView::countDown() {
    remaining_ = std::max(std::chrono::milliseconds(0), remaining_ - tick);
    bar_->setValue(static_cast<int>(remaining_ / tick));
}

SelectionToastController::SelectionToastController(std::chrono::milliseconds shownFor,
                                                   QObject* parent)
    : QObject(parent), shownFor_(shownFor) {
    dismissTimer_.setSingleShot(true);
    connect(&dismissTimer_, &QTimer::timeout, this, &SelectionToastController::dismiss);
}

SelectionToastController::~SelectionToastController() = default;

void SelectionToastController::show(const QString& text, const std::optional<QString>& sourceApp,
                                    std::function<void()> onUndo) {
    dismissTimer_.stop();
    QPointer<SelectionToastController> self(this);
    auto* view =
        new SelectionToastView(text, sourceApp, shownFor_, [self, onUndo = std::move(onUndo)] {
            onUndo();
            if (self) {
                self->dismiss();
            }
        });
    if (!panel_) {
        panel_ = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint |
                                                        Qt::WindowStaysOnTopHint |
                                                        Qt::WindowDoesNotAcceptFocus);
        panel_->setAttribute(Qt::WA_ShowWithoutActivating, true);
        panel_->setWindowTitle(QStringLiteral("Captured"));
        panel_->setFixedSize(panelWidth, panelHeight);
        new QVBoxLayout(panel_.get());
        panel_->layout()->setContentsMargins(0, 0, 0, 0);
    }
    if (view_ != nullptr) {
        // It may be the sender of the click that led here: gone once that click is done.
        view_->hide();
        view_->deleteLater();
    }
    view_ = view;
    view_->setParent(panel_.get());
    panel_->layout()->addWidget(view_);
    view_->show();
    place();
    panel_->show();
    panel_->raise();
    dismissTimer_.start(shownFor_);
}

void SelectionToastController::dismiss() {
    dismissTimer_.stop();
    if (panel_) {
        panel_->hide();
    }
}

bool SelectionToastController::isShowing() const {
    return panel_ && panel_->isVisible();
}

void SelectionToastController::place() {
    if (const auto at = PanelPlacement::bottomRight(QSize(panelWidth, panelHeight), edgeDistance)) {
        panel_->move(*at);
    }
}

} // namespace tarvo::desktop
