#include <desktop/ui/plain_label.hpp>
#include <desktop/ui/staging_bar.hpp>

#include <desktop/model/qt_text.hpp>
#include <desktop/ui/qt_color.hpp>
#include <desktop/ui/tray_icons.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/environment_banner.hpp>

#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>

namespace tarvo::desktop {

using capturekit::EnvironmentBanner;

StagingBar::StagingBar(QWidget* parent) : QWidget(parent) {
    const EnvironmentBanner banner{EnvironmentBanner::Style::bar,
                                   capturekit::CaptureConfig::environment()};
    setVisible(banner.isShown());
    setAutoFillBackground(true);
    QPalette colors = palette();
    colors.setColor(QPalette::Window, qtColor(EnvironmentBanner::background));
    colors.setColor(QPalette::WindowText, qtColor(EnvironmentBanner::foreground));
    setPalette(colors);

    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(EnvironmentBanner::barSpacing);
    layout->setContentsMargins(8, 4, 8, 4);
    auto* symbol = plainLabel(this);
    symbol->setPixmap(TrayIcons::bundled(qtText(EnvironmentBanner::symbolName)).pixmap(16, 16));
    symbol->setAccessibleName(qtText(EnvironmentBanner::symbolName));
    auto* title = plainLabel(qtText(EnvironmentBanner::title), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(symbol);
    layout->addWidget(title);
    layout->addWidget(plainLabel(QString::fromStdString(banner.text()), this), 1);
}

} // namespace tarvo::desktop
