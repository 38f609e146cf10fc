#include <desktop/ui/panel_placement.hpp>
#include <desktop/ui/plain_label.hpp>
#include <desktop/ui/selection_toast.hpp>

#include <desktop/ui/accessible_role.hpp>

#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBoundaryFinder>
#include <QVBoxLayout>

namespace tarvo::desktop {

namespace {

constexpr int edgeDistance = 20;
// The toast has room for a few lines; the whole text is still what is sent.
constexpr qsizetype shownCharacters = 140;
constexpr qsizetype shownLines = 3;

qsizetype characterCount(const QString& text) {
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (graphemes.toNextBoundary() >= 0) {
        ++count;
    }
    return count;
}

// Where the shown part ends: at most so many characters and lines, never inside a character.
qsizetype cutAt(const QString& text) {
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype characters = 0;
    qsizetype lines = 0;
    qsizetype cut = 0;
    for (qsizetype next = graphemes.toNextBoundary(); next >= 0;
         next = graphemes.toNextBoundary()) {
        if (++characters > shownCharacters) {
            return cut;
        }
        if (text.at(cut) == QLatin1Char('\n') && ++lines >= shownLines) {
            return cut;
        }
        cut = next;
    }
    return cut;
}

QLabel* label(const QString& text, QWidget* parent) {
    auto* item = plainLabel(text, parent);
    item->setAccessibleName(text);
    return item;
}

} // namespace

QString SelectionToastView::shownText(const QString& text) {
    const qsizetype cut = cutAt(text);
    if (cut >= text.size()) {
        return text;
    }
    return text.left(cut).trimmed() + QStringLiteral("…\n") +
           QStringLiteral("%1 characters in all").arg(QLocale().toString(characterCount(text)));
}

SelectionToastView::SelectionToastView(const QString& text, const std::optional<QString>& sourceApp,
                                       const std::optional<QString>& undoKey,
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
    if (undoKey) {
        auto* hint = label(QStringLiteral("Press %1 to undo").arg(*undoKey), this);
        QFont small = hint->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        hint->setFont(small);
        layout->addWidget(hint);
    }

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
                                                   const FrontmostApp* frontmost, QObject* parent)
    : QObject(parent), shownFor_(shownFor), frontmost_(frontmost) {
    dismissTimer_.setSingleShot(true);
    connect(&dismissTimer_, &QTimer::timeout, this, &SelectionToastController::dismiss);
}

SelectionToastController::~SelectionToastController() = default;

void SelectionToastController::show(const QString& text, const std::optional<QString>& sourceApp,
                                    const std::optional<QString>& undoKey,
                                    std::function<void()> onUndo) {
    dismissTimer_.stop();
    QPointer<SelectionToastController> self(this);
    auto* view = new SelectionToastView(text, sourceApp, undoKey, shownFor_,
                                        [self, onUndo = std::move(onUndo)] {
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
        setAccessibleRole(*panel_, QAccessible::AlertMessage);
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
    panel_->setAccessibleName(
        (sourceApp ? QStringLiteral("Captured from ") + *sourceApp : QStringLiteral("Captured")) +
        QStringLiteral(": ") + SelectionToastView::shownText(text));
    place();
    panel_->show();
    panel_->raise();
    announceAlert(*panel_);
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
    const QScreen* screen =
        frontmost_ != nullptr ? PanelPlacement::screenOfFrontmost(*frontmost_) : nullptr;
    if (const auto at =
            PanelPlacement::bottomRight(QSize(panelWidth, panelHeight), edgeDistance, screen)) {
        panel_->move(*at);
    }
}

} // namespace tarvo::desktop
