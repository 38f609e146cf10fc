#include <desktop/ui/consent_panel.hpp>
#include <desktop/ui/plain_label.hpp>
#include <desktop/ui/window_fit.hpp>

#include <capturekit/account/capture_config.hpp>

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tarvo::desktop {

ConsentPanel::ConsentPanel(DesktopServices services, std::function<void(bool)> decide,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      services_(services), decide_(std::move(decide)) {
    setWindowTitle(QStringLiteral("tarvo Capture"));
    setAccessibleName(QStringLiteral("Can tarvo use AI on your captures?"));
    setSizeGripEnabled(true);
}

void ConsentPanel::addRow(QVBoxLayout& layout, const char* symbol, const QString& title,
                          const QString& text) {
    auto* row = new QHBoxLayout;
    auto* icon = plainLabel(this);
    icon->setPixmap(QIcon::fromTheme(QLatin1String(symbol)).pixmap(22, 22));
    icon->setFixedWidth(28);
    icon->setAlignment(Qt::AlignTop);
    auto* words = new QVBoxLayout;
    auto* heading = plainLabel(title, this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* body = plainLabel(text, this);
    body->setWordWrap(true);
    words->addWidget(heading);
    words->addWidget(body);
    row->addWidget(icon);
    row->addLayout(words, 1);
    layout.addLayout(row);
}

void ConsentPanel::build() {
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 12);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* rows = rows_ = new QWidget(scroll);
    rows->setMinimumWidth(preferredWidth - 40);
    auto* layout = new QVBoxLayout(rows);
    layout->setContentsMargins(24, 24, 24, 8);
    auto* heading = plainLabel(QStringLiteral("Can tarvo use AI on your captures?"), rows);
    QFont large = heading->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.3);
    heading->setFont(large);
    heading->setWordWrap(true);
    auto* lead = plainLabel(
        QStringLiteral("To make a capture useful, tarvo sends it to AI services — to read the "
                       "text in a screenshot, and to title, tag and index what you capture."),
        rows);
    lead->setWordWrap(true);
    layout->addWidget(heading);
    layout->addWidget(lead);
    layout->addSpacing(8);

    addRow(*layout, "image-x-generic", QStringLiteral("Text in images → Google"),
           QStringLiteral("A screenshot is sent to Google's Gemini API to pull out the text, so a "
                          "captured receipt or recipe is searchable later. If Gemini is "
                          "unavailable, OCR.space is the fallback."));
    addRow(*layout, "tag", QStringLiteral("Titles and tags → Anthropic"),
           QStringLiteral("The text is sent to Claude to title and tag the capture."));
    addRow(*layout, "system-search", QStringLiteral("Search → OpenAI"),
           QStringLiteral("The text is also sent to OpenAI to make a search embedding, so a "
                          "capture can be found later by what it means, not only its exact "
                          "words."));
    addRow(*layout, "action-unavailable", QStringLiteral("What nobody gets"),
           QStringLiteral("Nothing is used to train any model, and nothing is sold or shared for "
                          "advertising."));
    addRow(*layout, "dialog-information", QStringLiteral("If you say no"),
           QStringLiteral("Capture still works. Screenshots and text are filed into stash "
                          "exactly as taken — no text pulled from images, nothing titled, tagged "
                          "or indexed. You can change this any time from the menu."));
    scroll->setWidget(rows);
    frame->addWidget(scroll, 1);

    // A link, in the colour and underline of links, reached with Tab like a button.
    auto* privacy = new QPushButton(QStringLiteral("Read the privacy policy"), this);
    privacy->setFlat(true);
    privacy->setAutoDefault(true);
    privacy->setCursor(Qt::PointingHandCursor);
    privacy->setObjectName(QStringLiteral("link"));
    privacy->setStyleSheet(QStringLiteral(
        "QPushButton#link { color: palette(link); text-decoration: underline; border: none; "
        "padding: 4px; } QPushButton#link:focus { border: 2px solid palette(highlight); "
        "border-radius: 3px; padding: 2px; }"));
    connect(privacy, &QPushButton::clicked, this, [this] {
        if (const auto page = capturekit::CaptureConfig::webAppURL("privacy")) {
            services_.folderOpener.openWebPage(*page);
        }
    });
    auto* buttons = new QHBoxLayout;
    auto* notNow = new QPushButton(QStringLiteral("Not now"), this);
    auto* turnOn = turnOn_ = new QPushButton(QStringLiteral("Turn it on"), this);
    notNow->setAutoDefault(true);
    turnOn->setAutoDefault(true);
    turnOn->setDefault(true);
    connect(notNow, &QPushButton::clicked, this, [this] { answer(false); });
    connect(turnOn, &QPushButton::clicked, this, [this] { answer(true); });
    buttons->setContentsMargins(20, 0, 20, 0);
    buttons->addWidget(privacy);
    buttons->addStretch(1);
    buttons->addWidget(notNow);
    buttons->addWidget(turnOn);
    frame->addLayout(buttons);
    setTabOrder(turnOn, notNow);
    setTabOrder(notNow, privacy);
}

void ConsentPanel::showPanel() {
    if (layout() == nullptr) {
        build(); // on first use: most runs never need the panel
    }
    // Our own windows (the menu) are not given focus back: they close when the panel opens.
    if (!previousApp_) {
        previousApp_ = services_.frontmostApp.active();
        if (previousApp_ && previousApp_->pid == QCoreApplication::applicationPid()) {
            previousApp_.reset();
        }
    }
    WindowFit::fitAndCentre(*this);
    WindowFit::showFocusAtOnce(*this);
    show();
    raise();
    activateWindow();
    turnOn_->setFocus();
}

QSize ConsentPanel::sizeHint() const {
    if (rows_ == nullptr) {
        return {preferredWidth, preferredHeight};
    }
    const int rows = rows_->heightForWidth(preferredWidth);
    const int buttons =
        turnOn_->sizeHint().height() + layout()->contentsMargins().bottom() + layout()->spacing();
    return {preferredWidth, (rows > 0 ? rows : rows_->sizeHint().height()) + buttons};
}

void ConsentPanel::answer(bool granted) {
    decide_(granted);
    hide();
    giveFocusBack();
}

void ConsentPanel::reject() {
    hide();
    giveFocusBack();
}

void ConsentPanel::giveFocusBack() {
    if (previousApp_) {
        services_.frontmostApp.activate(*previousApp_);
        previousApp_.reset();
    }
}

} // namespace tarvo::desktop
